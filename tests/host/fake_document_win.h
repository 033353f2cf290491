#pragma once
// The document object of the test browser: IHTMLDocument2 with its forms collection, form
// elements and their fields, built from a page's HTML as the server answered it. Fields keep
// the values the code under test puts into them; a form's submit hands the browser a real
// form submission (encoded fields, action, method), which it then navigates to.
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "host/com_defaults_win.h"
#include "host/host_com_win.h"
#include "host/html_reader_win.h"

namespace tthost {

using Microsoft::WRL::ComPtr;

struct FormSubmission {
    std::wstring formName;
    std::wstring action;  // resolved against the document's address
    std::wstring method;  // "get" or "post"
    std::string body;     // application/x-www-form-urlencoded, in the page's character set
};

// What a document needs of the browser that shows it; the browser detaches itself when it goes.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;
    virtual std::wstring DocumentCookie(const std::wstring& url) = 0;
    virtual void SetDocumentCookie(const std::wstring& url, const std::wstring& cookie) = 0;
    virtual void SubmitForm(const FormSubmission& submission) = 0;
};
struct DocumentHostLink {
    DocumentHost* host = nullptr;
};

class FakeFormElement;

// One form control (input, select, textarea, button).
class FakeFieldElement : public DefaultHTMLElement, public HostRefCount {
public:
    explicit FakeFieldElement(const HtmlField& field) : field_(field) {}
    TTHOST_REFCOUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

    HRESULT STDMETHODCALLTYPE get_tagName(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE get_id(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE put_innerText(BSTR v) override;
    HRESULT STDMETHODCALLTYPE get_innerText(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG flags, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value, LONG flags) override;

    const HtmlField& Field() const { return field_; }
    std::wstring Value() const { return field_.value; }
    int InnerTextPuts() const { return innerTextPuts_; }

private:
    HtmlField field_;
    int innerTextPuts_ = 0;
};

class FakeFormElement : public DefaultHTMLFormElement, public DefaultHTMLElement, public HostRefCount {
public:
    FakeFormElement(const HtmlForm& form, std::wstring documentUrl, UINT codePage,
                    std::shared_ptr<DocumentHostLink> host);
    TTHOST_REFCOUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

    // IHTMLFormElement
    HRESULT STDMETHODCALLTYPE get_action(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE get_method(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE get_name(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE get_length(LONG* p) override;
    HRESULT STDMETHODCALLTYPE submit() override;
    HRESULT STDMETHODCALLTYPE item(VARIANT name, VARIANT index, IDispatch** pdisp) override;
    // IHTMLElement
    HRESULT STDMETHODCALLTYPE get_tagName(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE get_id(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG flags, VARIANT* value) override;

    const std::wstring& Name() const { return form_.name; }
    const std::wstring& Id() const { return form_.id; }
    FakeFieldElement* FindField(const std::wstring& name) const;  // first field of that name
    const std::vector<ComPtr<FakeFieldElement>>& Fields() const { return fields_; }
    // The submission as submit() would make it now.
    FormSubmission BuildSubmission() const;
    int SubmitCount() const { return submits_; }

private:
    HtmlForm form_;
    std::wstring documentUrl_;
    UINT codePage_;
    std::shared_ptr<DocumentHostLink> host_;
    std::vector<ComPtr<FakeFieldElement>> fields_;
    int submits_ = 0;
};

// A collection of elements, looked up by name or id, or by position.
class FakeElementCollection : public DefaultHTMLElementCollection, public HostRefCount {
public:
    struct Entry {
        std::wstring name;
        std::wstring id;
        ComPtr<IDispatch> element;
    };
    explicit FakeElementCollection(std::vector<Entry> entries) : entries_(std::move(entries)) {}
    TTHOST_REFCOUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE get_length(LONG* p) override;
    HRESULT STDMETHODCALLTYPE item(VARIANT name, VARIANT index, IDispatch** pdisp) override;

private:
    std::vector<Entry> entries_;
};

// Looks up entries as the browser's collections do: a number is a position; a name matches the
// name or id; with an index the index-th match, without one the only match or a collection of
// all. Nothing found: S_OK with a null result.
HRESULT LookupCollectionItem(const std::vector<FakeElementCollection::Entry>& entries, const VARIANT& name,
                             const VARIANT& index, IDispatch** pdisp);

class FakeDocument : public DefaultHTMLDocument2, public HostRefCount {
public:
    // contentType: the answer's Content-Type; the body is decoded by its charset (or the page's
    // meta charset), and read as HTML when the type is HTML.
    FakeDocument(std::wstring url, const std::wstring& contentType, const std::vector<uint8_t>& body,
                 std::shared_ptr<DocumentHostLink> host);
    FakeDocument(std::wstring url, const std::wstring& html, std::shared_ptr<DocumentHostLink> host);
    TTHOST_REFCOUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

    HRESULT STDMETHODCALLTYPE get_title(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE put_title(BSTR v) override;
    HRESULT STDMETHODCALLTYPE get_cookie(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE put_cookie(BSTR v) override;
    HRESULT STDMETHODCALLTYPE get_mimeType(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE get_forms(IHTMLElementCollection** p) override;
    HRESULT STDMETHODCALLTYPE get_URL(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE get_readyState(BSTR* p) override;
    HRESULT STDMETHODCALLTYPE get_charset(BSTR* p) override;

    const std::wstring& Url() const { return url_; }
    const std::wstring& Title() const { return page_.title; }
    const std::wstring& Text() const { return page_.text; }
    const std::wstring& MimeDescription() const { return mime_; }
    const HtmlPage& Page() const { return page_; }
    FakeFormElement* FindForm(const std::wstring& name) const;
    const std::vector<ComPtr<FakeFormElement>>& Forms() const { return forms_; }
    // Reads by the code under test, counted for tests.
    int TitleReads() const { return titleReads_; }
    int CookieReads() const { return cookieReads_; }

private:
    void Build(const std::wstring& text, bool html, UINT codePage);

    std::wstring url_;
    std::wstring mime_;
    std::wstring charset_;
    HtmlPage page_;
    std::shared_ptr<DocumentHostLink> host_;
    std::vector<ComPtr<FakeFormElement>> forms_;
    int titleReads_ = 0;
    int cookieReads_ = 0;
};

// The browser's description of a content type, as document.mimeType gives it
// ("HTML ドキュメント" for text/html).
std::wstring MimeDescriptionOf(const std::wstring& contentType);

// application/x-www-form-urlencoded of one text in a code page.
std::string FormUrlEncode(const std::wstring& text, UINT codePage);

}  // namespace tthost
