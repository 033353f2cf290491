#include "host/fake_document_win.h"

#include <cwctype>

#include "host/host_session_win.h"

namespace tthost {
namespace {

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring Upper(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

HRESULT PutText(BSTR* out, const std::wstring& text) {
    if (!out) return E_POINTER;
    *out = AllocBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool VariantNumber(const VARIANT& v, long* n) {
    VARIANT copy;
    VariantInit(&copy);
    if (V_VT(&v) == VT_EMPTY || V_VT(&v) == VT_ERROR || V_VT(&v) == VT_BSTR) return false;
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_I4))) return false;
    *n = V_I4(&copy);
    return true;
}

HRESULT AttributeOf(const std::wstring& name, const std::vector<std::pair<std::wstring, std::wstring>>& attrs,
                    VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    for (const auto& a : attrs) {
        if (Lower(a.first) == Lower(name)) {
            V_VT(value) = VT_BSTR;
            V_BSTR(value) = AllocBstr(a.second);
            return S_OK;
        }
    }
    V_VT(value) = VT_NULL;  // the browser answers a missing attribute with null
    return S_OK;
}

}  // namespace

std::wstring MimeDescriptionOf(const std::wstring& contentType) {
    std::wstring type = Lower(contentType.substr(0, contentType.find(L';')));
    while (!type.empty() && type.back() == L' ') type.pop_back();
    if (type.empty() || type == L"text/html" || type == L"application/xhtml+xml") return L"HTML ドキュメント";
    if (type == L"text/plain") return L"テキスト ドキュメント";
    if (type == L"image/png") return L"PNG イメージ";
    if (type == L"image/gif") return L"GIF イメージ";
    if (type == L"image/jpeg") return L"JPEG イメージ";
    if (type == L"text/xml" || type == L"application/xml") return L"XML ドキュメント";
    return Upper(type.substr(type.find(L'/') + 1)) + L" ファイル";
}

std::string FormUrlEncode(const std::wstring& text, UINT codePage) {
    std::string bytes;
    if (!text.empty()) {
        const UINT cp = codePage ? codePage : CP_UTF8;
        const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
        if (n > 0) {
            bytes.resize(n);
            WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr,
                                nullptr);
        }
    }
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
            c == '-' || c == '.' || c == '_') {
            out.push_back(static_cast<char>(c));
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

// ---- collections

HRESULT LookupCollectionItem(const std::vector<FakeElementCollection::Entry>& entries, const VARIANT& name,
                             const VARIANT& index, IDispatch** pdisp) {
    if (!pdisp) return E_POINTER;
    *pdisp = nullptr;
    long position = 0;
    if (V_VT(&name) != VT_BSTR && VariantNumber(name, &position)) {
        if (position >= 0 && static_cast<size_t>(position) < entries.size()) {
            *pdisp = entries[position].element.Get();
            (*pdisp)->AddRef();
        }
        return S_OK;
    }
    if (V_VT(&name) != VT_BSTR) return E_INVALIDARG;
    const std::wstring wanted = FromBstr(V_BSTR(&name));
    std::vector<FakeElementCollection::Entry> matches;
    for (const auto& e : entries) {
        if ((!e.name.empty() && e.name == wanted) || (!e.id.empty() && e.id == wanted)) matches.push_back(e);
    }
    long which = 0;
    if (VariantNumber(index, &which)) {
        if (which >= 0 && static_cast<size_t>(which) < matches.size()) {
            *pdisp = matches[which].element.Get();
            (*pdisp)->AddRef();
        }
        return S_OK;
    }
    if (matches.size() == 1) {
        *pdisp = matches[0].element.Get();
        (*pdisp)->AddRef();
    } else if (matches.size() > 1) {
        *pdisp = static_cast<IHTMLElementCollection*>(new FakeElementCollection(std::move(matches)));
    }
    return S_OK;
}

HRESULT FakeElementCollection::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLElementCollection) {
        *ppv = static_cast<IHTMLElementCollection*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeElementCollection::get_length(LONG* p) {
    if (!p) return E_POINTER;
    *p = static_cast<LONG>(entries_.size());
    return S_OK;
}

HRESULT FakeElementCollection::item(VARIANT name, VARIANT index, IDispatch** pdisp) {
    return LookupCollectionItem(entries_, name, index, pdisp);
}

// ---- fields

HRESULT FakeFieldElement::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLElement) {
        *ppv = static_cast<IHTMLElement*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeFieldElement::get_tagName(BSTR* p) { return PutText(p, Upper(field_.tag)); }
HRESULT FakeFieldElement::get_id(BSTR* p) { return PutText(p, field_.id); }

// The text of a field is its value: what a user would have typed into it.
HRESULT FakeFieldElement::put_innerText(BSTR v) {
    ++innerTextPuts_;
    field_.value = FromBstr(v);
    return S_OK;
}

HRESULT FakeFieldElement::get_innerText(BSTR* p) { return PutText(p, field_.value); }

HRESULT FakeFieldElement::getAttribute(BSTR name, LONG, VARIANT* value) {
    return AttributeOf(
        FromBstr(name),
        {{L"name", field_.name}, {L"id", field_.id}, {L"type", field_.type}, {L"value", field_.value}},
        value);
}

HRESULT FakeFieldElement::setAttribute(BSTR name, VARIANT value, LONG) {
    if (Lower(FromBstr(name)) != L"value") return E_NOTIMPL;
    field_.value = VariantText(&value);
    return S_OK;
}

// ---- forms

FakeFormElement::FakeFormElement(const HtmlForm& form, std::wstring documentUrl, UINT codePage,
                                 std::shared_ptr<DocumentHostLink> host)
    : form_(form), documentUrl_(std::move(documentUrl)), codePage_(codePage), host_(std::move(host)) {
    for (const HtmlField& f : form_.fields) {
        ComPtr<FakeFieldElement> field;
        field.Attach(new FakeFieldElement(f));
        fields_.push_back(field);
    }
}

HRESULT FakeFormElement::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLFormElement) {
        *ppv = static_cast<IHTMLFormElement*>(this);
    } else if (riid == IID_IHTMLElement) {
        *ppv = static_cast<IHTMLElement*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRefImpl();
    return S_OK;
}

HRESULT FakeFormElement::get_action(BSTR* p) { return PutText(p, form_.action); }
HRESULT FakeFormElement::get_method(BSTR* p) { return PutText(p, form_.method); }
HRESULT FakeFormElement::get_name(BSTR* p) { return PutText(p, form_.name); }
HRESULT FakeFormElement::get_tagName(BSTR* p) { return PutText(p, L"FORM"); }
HRESULT FakeFormElement::get_id(BSTR* p) { return PutText(p, form_.id); }

HRESULT FakeFormElement::get_length(LONG* p) {
    if (!p) return E_POINTER;
    *p = static_cast<LONG>(fields_.size());
    return S_OK;
}

HRESULT FakeFormElement::getAttribute(BSTR name, LONG, VARIANT* value) {
    return AttributeOf(
        FromBstr(name),
        {{L"name", form_.name}, {L"id", form_.id}, {L"action", form_.action}, {L"method", form_.method}},
        value);
}

HRESULT FakeFormElement::item(VARIANT name, VARIANT index, IDispatch** pdisp) {
    std::vector<FakeElementCollection::Entry> entries;
    for (const auto& f : fields_) {
        entries.push_back(
            {f->Field().name, f->Field().id, ComPtr<IDispatch>(static_cast<IHTMLElement*>(f.Get()))});
    }
    return LookupCollectionItem(entries, name, index, pdisp);
}

FakeFieldElement* FakeFormElement::FindField(const std::wstring& name) const {
    for (const auto& f : fields_) {
        if (f->Field().name == name) return f.Get();
    }
    return nullptr;
}

FormSubmission FakeFormElement::BuildSubmission() const {
    FormSubmission s;
    s.formName = form_.name;
    s.method = form_.method;
    s.action = ResolveUrl(documentUrl_, form_.action);
    for (const auto& f : fields_) {
        const HtmlField& field = f->Field();
        if (field.name.empty() || field.disabled) continue;
        // Buttons are sent only when they submitted the form; submit() presses none of them.
        if (field.type == L"submit" || field.type == L"reset" || field.type == L"button" ||
            field.type == L"image" || field.type == L"file")
            continue;
        if ((field.type == L"checkbox" || field.type == L"radio") && !field.checked) continue;
        if (!s.body.empty()) s.body += '&';
        s.body += FormUrlEncode(field.name, codePage_) + "=" + FormUrlEncode(field.value, codePage_);
    }
    return s;
}

HRESULT FakeFormElement::submit() {
    ++submits_;
    if (host_ && host_->host) host_->host->SubmitForm(BuildSubmission());
    return S_OK;
}

// ---- document

FakeDocument::FakeDocument(std::wstring url, const std::wstring& contentType,
                           const std::vector<uint8_t>& body, std::shared_ptr<DocumentHostLink> host)
    : url_(std::move(url)), host_(std::move(host)) {
    mime_ = MimeDescriptionOf(contentType);
    std::wstring type = Lower(contentType.substr(0, contentType.find(L';')));
    while (!type.empty() && type.back() == L' ') type.pop_back();
    const bool html = type.empty() || type == L"text/html" || type == L"application/xhtml+xml";
    charset_ = CharsetOfContentType(contentType);
    if (charset_.empty() && html) {
        // The page may name its own character set; its markup is ASCII up to there.
        std::wstring ascii;
        for (size_t i = 0; i < body.size() && i < 4096; ++i) ascii.push_back(body[i] < 0x80 ? body[i] : L'?');
        charset_ = ReadHtml(ascii).metaCharset;
    }
    UINT cp = CodePageOfCharset(charset_);
    const std::wstring text = DecodeBytes(body, charset_);
    if (!cp) cp = CP_UTF8;
    Build(text, html, cp);
}

FakeDocument::FakeDocument(std::wstring url, const std::wstring& html, std::shared_ptr<DocumentHostLink> host)
    : url_(std::move(url)), host_(std::move(host)) {
    mime_ = MimeDescriptionOf(L"text/html");
    charset_ = L"utf-8";
    Build(html, true, CP_UTF8);
}

void FakeDocument::Build(const std::wstring& text, bool html, UINT codePage) {
    if (html) {
        page_ = ReadHtml(text);
    } else {
        page_.text = text;
    }
    for (const HtmlForm& f : page_.forms) {
        ComPtr<FakeFormElement> form;
        form.Attach(new FakeFormElement(f, url_, codePage, host_));
        forms_.push_back(form);
    }
}

HRESULT FakeDocument::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHTMLDocument ||
        riid == IID_IHTMLDocument2) {
        *ppv = static_cast<IHTMLDocument2*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeDocument::get_title(BSTR* p) {
    ++titleReads_;
    return PutText(p, page_.title);
}

HRESULT FakeDocument::put_title(BSTR v) {
    page_.title = FromBstr(v);
    return S_OK;
}

HRESULT FakeDocument::get_cookie(BSTR* p) {
    ++cookieReads_;
    const std::wstring cookie = host_ && host_->host ? host_->host->DocumentCookie(url_) : std::wstring();
    return PutText(p, cookie);
}

HRESULT FakeDocument::put_cookie(BSTR v) {
    if (host_ && host_->host) host_->host->SetDocumentCookie(url_, FromBstr(v));
    return S_OK;
}

HRESULT FakeDocument::get_mimeType(BSTR* p) { return PutText(p, mime_); }
HRESULT FakeDocument::get_URL(BSTR* p) { return PutText(p, url_); }
HRESULT FakeDocument::get_readyState(BSTR* p) { return PutText(p, L"complete"); }
HRESULT FakeDocument::get_charset(BSTR* p) { return PutText(p, charset_); }

HRESULT FakeDocument::get_forms(IHTMLElementCollection** p) {
    if (!p) return E_POINTER;
    std::vector<FakeElementCollection::Entry> entries;
    for (const auto& f : forms_) {
        entries.push_back({f->Name(), f->Id(), ComPtr<IDispatch>(static_cast<IHTMLFormElement*>(f.Get()))});
    }
    *p = new FakeElementCollection(std::move(entries));
    return S_OK;
}

FakeFormElement* FakeDocument::FindForm(const std::wstring& name) const {
    for (const auto& f : forms_) {
        if (f->Name() == name) return f.Get();
    }
    return nullptr;
}

}  // namespace tthost
