#include "browser/html_document_win.h"

#include "support/fault_guard.h"
#include "support/wipe.h"

namespace tt {
namespace {

using StringGetter = HRESULT (STDMETHODCALLTYPE IHTMLDocument2::*)(BSTR*);

std::u16string ReadString(IHTMLDocument2* document, StringGetter getter) {
    BSTR text = nullptr;
    HRESULT hr = (document->*getter)(&text);
    unique_bstr owner(text);
    return SUCCEEDED(hr) ? FromBstr(text) : std::u16string();
}

// The name and index 0 that the collections' item() take.
class ItemKey {
public:
    explicit ItemKey(const std::u16string& name) {
        name_->vt = VT_BSTR;
        name_->bstrVal = MakeBstr(name).release();
        if (!name_->bstrVal) RaiseFault(kFaultOutOfMemory);
        index_->vt = VT_I4;
        index_->lVal = 0;
    }
    // Shallow copies: item() only reads them.
    VARIANT Name() { return *name_.get(); }
    VARIANT Index() { return *index_.get(); }

private:
    unique_variant name_;
    unique_variant index_;
};

com_ptr<IHTMLElement> FormField(IHTMLFormElement* form, const std::u16string& name) {
    ItemKey key(name);
    com_ptr<IDispatch> item;
    if (FAILED(form->item(key.Name(), key.Index(), item.put())) || !item) return {};
    return item.query<IHTMLElement>();
}

class HtmlLoginForm final : public ILoginForm {
public:
    HtmlLoginForm(com_ptr<IHTMLFormElement> form, com_ptr<IHTMLElement> account,
                  com_ptr<IHTMLElement> password)
        : form_(std::move(form)), account_(std::move(account)), password_(std::move(password)) {}

    void Fill(const std::u16string& account, const std::u16string& password) override {
        unique_bstr accountText = MakeBstr(account);
        unique_bstr passwordText = MakeBstr(password);
        // Zeroed before it is freed (declared after it, so destroyed first).
        struct WipeBstr {
            BSTR text;
            ~WipeBstr() {
                if (text) WipeMemory(text, SysStringByteLen(text));
            }
        } wipePassword{passwordText.get()};
        if (!accountText || !passwordText) RaiseFault(kFaultOutOfMemory);
        account_->put_innerText(accountText.get());
        password_->put_innerText(passwordText.get());
    }
    void Submit() override { form_->submit(); }

private:
    com_ptr<IHTMLFormElement> form_;
    com_ptr<IHTMLElement> account_;
    com_ptr<IHTMLElement> password_;
};

}  // namespace

std::unique_ptr<HtmlServerDocument> HtmlServerDocument::FromBrowser(IWebBrowser2* browser) {
    if (!browser) return nullptr;
    com_ptr<IDispatch> document;
    if (FAILED(browser->get_Document(document.put())) || !document) return nullptr;
    com_ptr<IHTMLDocument2> html = document.query<IHTMLDocument2>();
    if (!html) return nullptr;
    return std::make_unique<HtmlServerDocument>(std::move(html));
}

std::u16string HtmlServerDocument::MimeType() {
    return ReadString(document_.get(), &IHTMLDocument2::get_mimeType);
}
std::u16string HtmlServerDocument::Title() { return ReadString(document_.get(), &IHTMLDocument2::get_title); }
std::u16string HtmlServerDocument::Cookie() {
    return ReadString(document_.get(), &IHTMLDocument2::get_cookie);
}

std::unique_ptr<ILoginForm> HtmlServerDocument::FindLoginForm(const std::u16string& formName,
                                                              const std::u16string& accountField,
                                                              const std::u16string& passwordField) {
    com_ptr<IHTMLElementCollection> forms;
    if (FAILED(document_->get_forms(forms.put())) || !forms) return nullptr;
    ItemKey key(formName);
    com_ptr<IDispatch> item;
    if (FAILED(forms->item(key.Name(), key.Index(), item.put())) || !item) return nullptr;
    com_ptr<IHTMLFormElement> form = item.query<IHTMLFormElement>();
    if (!form) return nullptr;
    com_ptr<IHTMLElement> account = FormField(form.get(), accountField);
    com_ptr<IHTMLElement> password = FormField(form.get(), passwordField);
    if (!account || !password) return nullptr;
    return std::make_unique<HtmlLoginForm>(std::move(form), std::move(account), std::move(password));
}

}  // namespace tt
