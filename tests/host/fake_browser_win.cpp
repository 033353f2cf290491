#include "host/fake_browser_win.h"

#include <shlguid.h>
#include <urlmon.h>

#include <deque>

namespace tthost {

// ---- the event connection point

class FakeConnectionPoint : public IConnectionPoint, public HostRefCount {
public:
    explicit FakeConnectionPoint(FakeBrowser* owner) : owner_(owner) {}
    TTHOST_REFCOUNTED

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
            *ppv = static_cast<IConnectionPoint*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = DIID_DWebBrowserEvents2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!owner_) return E_UNEXPECTED;
        *out = static_cast<IConnectionPointContainer*>(owner_);
        (*out)->AddRef();
        return S_OK;
    }
    // The sink is asked for the event interface first, then for IDispatch, as the browser does.
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        ++advises_;
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        ComPtr<IDispatch> disp;
        if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2,
                                        reinterpret_cast<void**>(disp.GetAddressOf()))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(disp.GetAddressOf()))))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = ++lastCookie_;
        sinks_.push_back({*cookie, disp});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        ++unadvises_;
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->cookie == cookie) {
                sinks_.erase(it);
                return S_OK;
            }
        }
        return CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    struct Sink {
        DWORD cookie;
        ComPtr<IDispatch> dispatch;
    };
    std::vector<Sink> sinks_;
    FakeBrowser* owner_;
    DWORD lastCookie_ = 0;
    int advises_ = 0;
    int unadvises_ = 0;
};

// ---- a navigation in progress: its remaining steps, run one per message

struct NavigationRun {
    unsigned generation = 0;
    NavigationRequest request;
    size_t record = 0;  // index into the top browser's navigations
    HttpAnswer answer;
    std::wstring finalUrl;
    std::deque<std::function<bool()>> steps;  // false ends the navigation
};

ComPtr<ITypeLib> LoadBrowserTypeLib() {
    ComPtr<ITypeLib> lib;
    if (FAILED(LoadRegTypeLib(LIBID_SHDocVw, 1, 1, 0, lib.GetAddressOf()))) lib.Reset();
    return lib;
}

namespace {

HRESULT PutText(BSTR* out, const std::wstring& text) {
    if (!out) return E_POINTER;
    *out = AllocBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Bytes of a VT_ARRAY|VT_UI1 argument (by value or by reference).
bool ArrayBytes(const VARIANT* v, std::vector<uint8_t>* bytes) {
    SAFEARRAY* array = nullptr;
    if (V_VT(v) == (VT_ARRAY | VT_UI1)) {
        array = V_ARRAY(v);
    } else if (V_VT(v) == (VT_ARRAY | VT_UI1 | VT_BYREF) && V_ARRAYREF(v)) {
        array = *V_ARRAYREF(v);
    } else {
        return false;
    }
    bytes->clear();
    if (!array || SafeArrayGetDim(array) != 1) return true;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    void* data = nullptr;
    if (upper >= lower && SUCCEEDED(SafeArrayAccessData(array, &data))) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        bytes->assign(p, p + (upper - lower + 1));
        SafeArrayUnaccessData(array);
    }
    return true;
}

SAFEARRAY* MakeByteArray(const std::vector<uint8_t>& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array && !bytes.empty()) {
        void* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
            memcpy(data, bytes.data(), bytes.size());
            SafeArrayUnaccessData(array);
        }
    }
    return array;
}

VARIANT ByRef(VARIANT* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&v) = target;
    return v;
}

VARIANT Text(const std::wstring& s) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = AllocBstr(s);
    return v;
}

VARIANT Int(long n) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
}

VARIANT Dispatch(IDispatch* d) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = d;  // borrowed for the call, as the browser passes it
    return v;
}

VARIANT BoolRef(VARIANT_BOOL* b) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&v) = b;
    return v;
}

// The browser's status for a request that got no answer.
long ErrorStatus(DWORD winInetError) {
    switch (winInetError) {
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return INET_E_RESOURCE_NOT_FOUND;
        case ERROR_INTERNET_CANNOT_CONNECT:
            return INET_E_CANNOT_CONNECT;
        case ERROR_INTERNET_TIMEOUT:
            return INET_E_CONNECTION_TIMEOUT;
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
            return INET_E_UNKNOWN_PROTOCOL;
        default:
            return INET_E_DOWNLOAD_FAILURE;
    }
}

}  // namespace

// ---- construction

ComPtr<FakeBrowser> FakeBrowser::Create(std::shared_ptr<HostSession> session, HWND window) {
    ComPtr<FakeBrowser> browser;
    browser.Attach(new FakeBrowser(std::move(session), window, nullptr));
    return browser;
}

FakeBrowser::FakeBrowser(std::shared_ptr<HostSession> session, HWND window, FakeBrowser* parent)
    : session_(session ? std::move(session) : std::make_shared<HostSession>()),
      window_(window),
      parent_(parent),
      link_(std::make_shared<DocumentHostLink>()) {
    link_->host = this;
    connectionPoint_.Attach(new FakeConnectionPoint(this));
}

FakeBrowser::~FakeBrowser() { Detach(); }

void FakeBrowser::Detach() {
    link_->host = nullptr;
    if (connectionPoint_) connectionPoint_->owner_ = nullptr;
    for (auto& frame : frames_) frame->parent_ = nullptr;
}

HRESULT FakeBrowser::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IWebBrowser ||
        riid == IID_IWebBrowserApp || riid == IID_IWebBrowser2) {
        *ppv = static_cast<IWebBrowser2*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_IServiceProvider) {
        *ppv = static_cast<IServiceProvider*>(this);
    } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
        *ppv = static_cast<IProvideClassInfo2*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRefImpl();
    return S_OK;
}

// ---- IDispatch and class information

HRESULT FakeBrowser::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT FakeBrowser::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ComPtr<ITypeLib> lib = LoadBrowserTypeLib();
    if (!lib) return TYPE_E_CANTLOADLIBRARY;
    return lib->GetTypeInfoOfGuid(IID_IWebBrowser2, info);
}

HRESULT FakeBrowser::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    ComPtr<ITypeLib> lib = LoadBrowserTypeLib();
    if (!lib) return TYPE_E_CANTLOADLIBRARY;
    return lib->GetTypeInfoOfGuid(parent_ ? CLSID_WebBrowser : CLSID_InternetExplorer, info);
}

HRESULT FakeBrowser::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = DIID_DWebBrowserEvents2;
    return S_OK;
}

// ---- connection points and services

HRESULT FakeBrowser::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT FakeBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *ppCP = connectionPoint_.Get();
    (*ppCP)->AddRef();
    return S_OK;
}

HRESULT FakeBrowser::QueryService(REFGUID service, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // Frames answer with the window's top-level browser.
    if (service == SID_SWebBrowserApp || service == SID_SInternetExplorer || service == IID_IWebBrowser2)
        return Top()->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
}

size_t FakeBrowser::SinkCount() const { return connectionPoint_->sinks_.size(); }
int FakeBrowser::AdviseCount() const { return connectionPoint_->advises_; }
int FakeBrowser::UnadviseCount() const { return connectionPoint_->unadvises_; }
void FakeBrowser::ReleaseSinks() { connectionPoint_->sinks_.clear(); }

// ---- recorded members

HRESULT FakeBrowser::Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                               VARIANT* Headers) {
    Record(L"Navigate2");
    NavigateCall call;
    const VARIANT* url = VariantTarget(URL);
    const VARIANT* flags = VariantTarget(Flags);
    const VARIANT* target = VariantTarget(TargetFrameName);
    const VARIANT* post = VariantTarget(PostData);
    const VARIANT* headers = VariantTarget(Headers);
    if (url) {
        call.urlType = V_VT(url);
        call.url = VariantText(url);
    }
    if (flags) {
        call.flagsType = V_VT(flags);
        VARIANT n;
        VariantInit(&n);
        if (V_VT(flags) != VT_EMPTY && V_VT(flags) != VT_ERROR &&
            SUCCEEDED(VariantChangeType(&n, const_cast<VARIANT*>(flags), 0, VT_I4)))
            call.flags = V_I4(&n);
    }
    if (target) {
        call.targetType = V_VT(target);
        call.target = VariantText(target);
    }
    bool hasPost = false;
    if (post) {
        call.postDataType = V_VT(post);
        hasPost = ArrayBytes(post, &call.postData);
    }
    if (headers) {
        call.headersType = V_VT(headers);
        call.headers = VariantText(headers);
    }
    navigateCalls_.push_back(call);
    if (!url || (V_VT(url) != VT_BSTR && V_VT(url) != (VT_BSTR | VT_BYREF))) return E_INVALIDARG;

    NavigationRequest request;
    request.origin = NavigationRecord::Origin::Navigate2;
    request.url = call.url;
    request.headers = call.headers;
    request.postData = call.postData;
    request.post = hasPost;
    request.flags = call.flags;
    request.targetFrame = call.target;
    if (call.flags & (navOpenInNewWindow | navOpenInNewTab)) {
        ComPtr<FakeBrowser> opened = Create(session_, nullptr);
        newWindows_.push_back(opened);
        request.origin = NavigationRecord::Origin::NewWindow;
        opened->StartNavigation(request);
        return S_OK;
    }
    StartNavigation(request);
    return S_OK;
}

HRESULT FakeBrowser::Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                              VARIANT* Headers) {
    VARIANT url = Text(FromBstr(URL));
    const HRESULT hr = Navigate2(&url, Flags, TargetFrameName, PostData, Headers);
    VariantClear(&url);
    return hr;
}

HRESULT FakeBrowser::Stop() {
    Record(L"Stop");
    ++generation_;  // queued steps of the current navigation are dropped
    busy_ = false;
    return S_OK;
}

HRESULT FakeBrowser::Refresh() {
    Record(L"Refresh");
    Reload();
    return S_OK;
}

HRESULT FakeBrowser::Refresh2(VARIANT*) {
    Record(L"Refresh2");
    Reload();
    return S_OK;
}

HRESULT FakeBrowser::get_HWND(SHANDLE_PTR* pHWND) {
    Record(L"get_HWND");
    if (!pHWND) return E_POINTER;
    *pHWND = 0;
    if (!window_) return E_FAIL;  // frames and windowless browsers have none
    *pHWND = reinterpret_cast<SHANDLE_PTR>(window_);
    return S_OK;
}

HRESULT FakeBrowser::get_Busy(VARIANT_BOOL* pBool) {
    Record(L"get_Busy");
    if (!pBool) return E_POINTER;
    *pBool = busy_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT FakeBrowser::get_LocationURL(BSTR* LocationURL) {
    Record(L"get_LocationURL");
    return PutText(LocationURL, location_);
}

HRESULT FakeBrowser::get_LocationName(BSTR* LocationName) {
    return PutText(LocationName, document_ ? document_->Title() : location_);
}

HRESULT FakeBrowser::get_Document(IDispatch** ppDisp) {
    Record(L"get_Document");
    if (!ppDisp) return E_POINTER;
    *ppDisp = nullptr;
    if (!document_) return S_FALSE;
    *ppDisp = static_cast<IHTMLDocument2*>(document_.Get());
    (*ppDisp)->AddRef();
    return S_OK;
}

HRESULT FakeBrowser::get_ReadyState(READYSTATE* state) {
    if (!state) return E_POINTER;
    *state = busy_ ? READYSTATE_INTERACTIVE : READYSTATE_COMPLETE;
    return S_OK;
}

HRESULT FakeBrowser::get_Visible(VARIANT_BOOL* pBool) {
    if (!pBool) return E_POINTER;
    *pBool = visible_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT FakeBrowser::put_Visible(VARIANT_BOOL Value) {
    visible_ = Value != VARIANT_FALSE;
    return S_OK;
}

HRESULT FakeBrowser::ShowBrowserBar(VARIANT* pvaClsid, VARIANT* pvarShow, VARIANT* pvarSize) {
    Record(L"ShowBrowserBar");
    ShowBrowserBarCall call;
    if (const VARIANT* c = VariantTarget(pvaClsid)) {
        call.clsidType = V_VT(c);
        call.clsid = VariantText(c);
    }
    if (const VARIANT* s = VariantTarget(pvarShow)) {
        call.showType = V_VT(s);
        if (V_VT(s) == VT_BOOL) call.show = V_BOOL(s) != VARIANT_FALSE;
    }
    if (const VARIANT* z = VariantTarget(pvarSize))
        call.sizeGiven = V_VT(z) != VT_EMPTY && V_VT(z) != VT_ERROR;
    barCalls_.push_back(call);
    if (call.clsidType != VT_BSTR) return E_INVALIDARG;
    return barHandler_ ? barHandler_(call.clsid, call.show) : S_OK;
}

HRESULT FakeBrowser::Quit() {
    Record(L"Quit");
    FireOnQuit();
    return S_OK;
}

int FakeBrowser::CountCalls(const std::wstring& name) const {
    int n = 0;
    for (const auto& c : calls_) n += c == name;
    return n;
}

void FakeBrowser::ClearRecords() {
    calls_.clear();
    navigateCalls_.clear();
    barCalls_.clear();
    Top()->navigations_.clear();
    Top()->events_.clear();
    Top()->submissions_.clear();
}

// ---- events

HRESULT FakeBrowser::Fire(DISPID dispid, const wchar_t* name, VARIANT* args, UINT count,
                          const std::wstring& url, IDispatch* pDisp) {
    FakeBrowser* top = Top();
    FiredEvent event;
    event.dispid = dispid;
    event.name = name;
    event.url = url;
    if (pDisp) {
        ComPtr<IUnknown> identity;
        if (SUCCEEDED(pDisp->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf()))))
            event.browser = identity.Get();
        ComPtr<IWebBrowser2> wb;
        if (SUCCEEDED(pDisp->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(wb.GetAddressOf()))))
            event.frame = static_cast<IWebBrowser2*>(top) != wb.Get();
    }
    event.busy = top->busy_;
    // Sinks may unadvise while they handle the event: call a copy.
    const std::vector<FakeConnectionPoint::Sink> sinks = top->connectionPoint_->sinks_;
    event.sinks = sinks.size();
    top->events_.push_back(event);
    DISPPARAMS params = {args, nullptr, count, 0};
    HRESULT result = S_OK;
    for (const auto& sink : sinks) {
        const HRESULT hr = sink.dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                                 &params, nullptr, nullptr, nullptr);
        if (FAILED(hr)) result = hr;
    }
    return result;
}

HRESULT FakeBrowser::FireEvent(DISPID dispid, VARIANT* args, UINT count, const wchar_t* name) {
    return Fire(dispid, name, args, count, L"", nullptr);
}

HRESULT FakeBrowser::FireBeforeNavigate2(IDispatch* pDisp, const std::wstring& url, bool* cancel,
                                         const std::vector<uint8_t>& postData, const std::wstring& headers,
                                         const std::wstring& targetFrame, long flags) {
    if (!pDisp) pDisp = AsDispatch();
    VARIANT vUrl = Text(url), vFlags = Int(flags), vTarget = Text(targetFrame), vHeaders = Text(headers);
    VARIANT vPostData, vPost;
    VariantInit(&vPostData);
    if (!postData.empty()) {
        V_VT(&vPostData) = VT_ARRAY | VT_UI1;
        V_ARRAY(&vPostData) = MakeByteArray(postData);
    }
    vPost = ByRef(&vPostData);  // post data comes wrapped twice, as the browser sends it
    VARIANT_BOOL vCancel = VARIANT_FALSE;
    VARIANT args[7] = {BoolRef(&vCancel), ByRef(&vHeaders), ByRef(&vPost),  ByRef(&vTarget),
                       ByRef(&vFlags),    ByRef(&vUrl),     Dispatch(pDisp)};
    const HRESULT hr = Fire(DISPID_BEFORENAVIGATE2, L"BeforeNavigate2", args, 7, url, pDisp);
    if (cancel) *cancel = vCancel != VARIANT_FALSE;
    VariantClear(&vUrl);
    VariantClear(&vTarget);
    VariantClear(&vHeaders);
    VariantClear(&vPostData);
    return hr;
}

HRESULT FakeBrowser::FireNavigateComplete2(IDispatch* pDisp, const std::wstring& url) {
    if (!pDisp) pDisp = AsDispatch();
    VARIANT vUrl = Text(url);
    VARIANT args[2] = {ByRef(&vUrl), Dispatch(pDisp)};
    const HRESULT hr = Fire(DISPID_NAVIGATECOMPLETE2, L"NavigateComplete2", args, 2, url, pDisp);
    VariantClear(&vUrl);
    return hr;
}

HRESULT FakeBrowser::FireDocumentComplete(IDispatch* pDisp, const std::wstring& url) {
    if (!pDisp) pDisp = AsDispatch();
    VARIANT vUrl = Text(url);
    VARIANT args[2] = {ByRef(&vUrl), Dispatch(pDisp)};
    const HRESULT hr = Fire(DISPID_DOCUMENTCOMPLETE, L"DocumentComplete", args, 2, url, pDisp);
    VariantClear(&vUrl);
    return hr;
}

HRESULT FakeBrowser::FireDownloadBegin() {
    return Fire(DISPID_DOWNLOADBEGIN, L"DownloadBegin", nullptr, 0, L"", nullptr);
}

HRESULT FakeBrowser::FireDownloadComplete() {
    return Fire(DISPID_DOWNLOADCOMPLETE, L"DownloadComplete", nullptr, 0, L"", nullptr);
}

HRESULT FakeBrowser::FireNewWindow2(IDispatch** ppDisp, bool* cancel) {
    IDispatch* none = nullptr;
    if (!ppDisp) ppDisp = &none;
    VARIANT_BOOL vCancel = VARIANT_FALSE;
    VARIANT target;
    VariantInit(&target);
    V_VT(&target) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&target) = ppDisp;
    VARIANT args[2] = {BoolRef(&vCancel), target};
    const HRESULT hr = Fire(DISPID_NEWWINDOW2, L"NewWindow2", args, 2, L"", nullptr);
    if (cancel) *cancel = vCancel != VARIANT_FALSE;
    if (none) none->Release();  // a sink that offered a browser for the window
    return hr;
}

HRESULT FakeBrowser::FireNavigateError(IDispatch* pDisp, const std::wstring& url, const std::wstring& frame,
                                       long status, bool* cancel) {
    if (!pDisp) pDisp = AsDispatch();
    VARIANT vUrl = Text(url), vFrame = Text(frame), vStatus = Int(status);
    VARIANT_BOOL vCancel = VARIANT_FALSE;
    VARIANT args[5] = {BoolRef(&vCancel), ByRef(&vStatus), ByRef(&vFrame), ByRef(&vUrl), Dispatch(pDisp)};
    const HRESULT hr = Fire(DISPID_NAVIGATEERROR, L"NavigateError", args, 5, url, pDisp);
    if (cancel) *cancel = vCancel != VARIANT_FALSE;
    VariantClear(&vUrl);
    VariantClear(&vFrame);
    return hr;
}

HRESULT FakeBrowser::FireOnQuit() { return Fire(DISPID_ONQUIT, L"OnQuit", nullptr, 0, L"", nullptr); }

// ---- documents

void FakeBrowser::NotifyDocument() {
    FakeBrowser* top = Top();
    if (top->documentListener_) top->documentListener_(*this);
}

void FakeBrowser::SetPage(const std::wstring& url, const std::wstring& html) {
    for (auto& frame : frames_) frame->parent_ = nullptr;
    frames_.clear();
    document_.Attach(new FakeDocument(url, html, link_));
    location_ = url;
    NotifyDocument();
}

ComPtr<FakeBrowser> FakeBrowser::AddFrame(const std::wstring& name, const std::wstring& url,
                                          const std::wstring& html) {
    ComPtr<FakeBrowser> frame;
    frame.Attach(new FakeBrowser(session_, nullptr, this));
    frame->frameName_ = name;
    frame->SetPage(url, html);
    frames_.push_back(frame);
    return frame;
}

void FakeBrowser::ShowAnswer(const std::wstring& url, const HttpAnswer& answer) {
    for (auto& frame : frames_) frame->parent_ = nullptr;
    frames_.clear();
    if (answer.answered) {
        document_.Attach(new FakeDocument(url, answer.contentType, answer.body, link_));
    } else {
        // The browser's own page for an address it could not reach.
        document_.Attach(new FakeDocument(url,
                                          L"<html><head><title>Internet Explorer ではこの Web "
                                          L"ページは表示できません</title></head><body></body></html>",
                                          link_));
    }
    location_ = url;
    NotifyDocument();
}

std::wstring FakeBrowser::DocumentCookie(const std::wstring& url) { return session_->CookiesFor(url, false); }

void FakeBrowser::SetDocumentCookie(const std::wstring& url, const std::wstring& cookie) {
    session_->StoreCookie(url, cookie);
}

void FakeBrowser::SubmitForm(const FormSubmission& submission) {
    Top()->submissions_.push_back(submission);
    NavigationRequest request;
    request.origin = NavigationRecord::Origin::Form;
    if (submission.method == L"post") {
        request.url = submission.action;
        request.post = true;
        request.postData.assign(submission.body.begin(), submission.body.end());
        request.headers = L"Content-Type: application/x-www-form-urlencoded\r\n";
    } else {
        std::wstring base = submission.action.substr(0, submission.action.find_first_of(L"?#"));
        request.url = base + L"?" + std::wstring(submission.body.begin(), submission.body.end());
    }
    StartNavigation(request);
}

// ---- navigation

void FakeBrowser::UserNavigate(const std::wstring& url) {
    NavigationRequest request;
    request.url = url;
    StartNavigation(request);
}

void FakeBrowser::Reload() {
    ComPtr<FakeBrowser> self(this);
    const unsigned generation = ++generation_;
    busy_ = true;
    auto& queue = BrowserWorkQueue::ForThread();
    queue.Post([self, generation] {
        if (generation != self->generation_) return;
        self->FireDownloadBegin();
        BrowserWorkQueue::ForThread().Post([self, generation] {
            if (generation != self->generation_) return;
            const HttpAnswer answer = self->session_->Fetch(L"GET", self->location_, L"", {});
            if (answer.answered) self->ShowAnswer(answer.url, answer);
            self->busy_ = false;
            self->FireDownloadComplete();
        });
    });
}

bool FakeBrowser::RunUntilIdle(DWORD timeoutMs) {
    return BrowserWorkQueue::ForThread().RunUntilIdle(timeoutMs);
}

void FakeBrowser::RunNavigation(std::shared_ptr<NavigationRun> run) {
    if (run->steps.empty()) return;
    ComPtr<FakeBrowser> self(this);
    BrowserWorkQueue::ForThread().Post([self, run] {
        if (run->generation != self->generation_ || run->steps.empty()) return;  // stopped or superseded
        std::function<bool()> step = std::move(run->steps.front());
        run->steps.pop_front();
        if (!step()) {
            run->steps.clear();
            return;
        }
        self->RunNavigation(run);
    });
}

void FakeBrowser::StartNavigation(const NavigationRequest& request) {
    auto run = std::make_shared<NavigationRun>();
    run->generation = ++generation_;
    run->request = request;
    busy_ = true;
    FakeBrowser* top = Top();
    NavigationRecord record;
    record.origin = request.origin;
    record.url = request.url;
    record.method = request.post ? L"POST" : L"GET";
    record.headers = request.headers;
    record.postData = request.postData;
    top->navigations_.push_back(record);
    run->record = top->navigations_.size() - 1;
    ComPtr<FakeBrowser> self(this);
    FakeBrowser* me = this;
    // Records may have been cleared by a test meanwhile.
    auto recordOf = [self, run]() -> NavigationRecord* {
        auto& records = self->Top()->navigations_;
        return run->record < records.size() ? &records[run->record] : nullptr;
    };

    run->steps.push_back([me, run, recordOf] {
        bool cancel = false;
        me->FireBeforeNavigate2(me->AsDispatch(), run->request.url, &cancel, run->request.postData,
                                run->request.headers, me->frameName_, 0);
        if (cancel) {
            if (NavigationRecord* r = recordOf()) r->cancelled = true;
            me->busy_ = false;
            return false;
        }
        return true;
    });
    run->steps.push_back([me, run, recordOf] {
        run->answer = me->session_->Fetch(run->request.post ? L"POST" : L"GET", run->request.url,
                                          run->request.headers, run->request.postData);
        run->finalUrl = run->answer.answered ? run->answer.url : run->request.url;
        if (NavigationRecord* r = recordOf()) {
            r->finalUrl = run->finalUrl;
            r->status = run->answer.status;
        }
        me->FireDownloadBegin();
        if (!run->answer.answered || run->answer.status >= 400) {
            bool cancel = false;
            const long status =
                run->answer.answered ? static_cast<long>(run->answer.status) : ErrorStatus(run->answer.error);
            me->FireNavigateError(me->AsDispatch(), run->request.url, me->frameName_, status, &cancel);
            if (cancel) {
                if (NavigationRecord* r = recordOf()) r->cancelled = true;
                me->busy_ = false;
                return false;
            }
        }
        return true;
    });
    run->steps.push_back([me, run] {
        me->ShowAnswer(run->finalUrl, run->answer);
        me->FireNavigateComplete2(me->AsDispatch(), run->finalUrl);
        return true;
    });
    run->steps.push_back([me, run] {
        me->FireDownloadComplete();
        // The page's frames load next, each a browser of its own.
        const FakeDocument* doc = me->document_.Get();
        if (!doc || doc->Page().frames.empty()) return true;
        auto frames = std::make_shared<std::vector<ComPtr<FakeBrowser>>>();
        auto urls = std::make_shared<std::vector<std::wstring>>();
        auto cancelled = std::make_shared<std::vector<bool>>();
        for (const HtmlFrame& f : doc->Page().frames) {
            ComPtr<FakeBrowser> frame;
            frame.Attach(new FakeBrowser(me->session_, nullptr, me));
            frame->frameName_ = f.name;
            frames->push_back(frame);
            urls->push_back(ResolveUrl(run->finalUrl, f.src));
            cancelled->push_back(false);
        }
        std::deque<std::function<bool()>> steps;
        steps.push_back([me, frames] {
            for (auto& f : *frames) me->frames_.push_back(f);
            me->FireDownloadBegin();
            return true;
        });
        for (size_t i = 0; i < frames->size(); ++i) {
            steps.push_back([me, frames, urls, cancelled, i] {
                bool cancel = false;
                FakeBrowser* f = (*frames)[i].Get();
                me->FireBeforeNavigate2(f->AsDispatch(), (*urls)[i], &cancel, {}, L"", f->frameName_, 0);
                (*cancelled)[i] = cancel;
                return true;
            });
        }
        for (size_t i = 0; i < frames->size(); ++i) {
            steps.push_back([me, frames, urls, cancelled, i] {
                if ((*cancelled)[i]) return true;
                FakeBrowser* f = (*frames)[i].Get();
                const HttpAnswer answer = f->session_->Fetch(L"GET", (*urls)[i], L"", {});
                (*urls)[i] = answer.answered ? answer.url : (*urls)[i];
                f->ShowAnswer((*urls)[i], answer);
                me->FireNavigateComplete2(f->AsDispatch(), (*urls)[i]);
                return true;
            });
        }
        for (size_t i = 0; i < frames->size(); ++i) {
            steps.push_back([me, frames, urls, cancelled, i] {
                if (!(*cancelled)[i]) me->FireDocumentComplete((*frames)[i]->AsDispatch(), (*urls)[i]);
                return true;
            });
        }
        steps.push_back([me] {
            me->FireDownloadComplete();
            return true;
        });
        // Before the top document's completion, which is the last step queued.
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) run->steps.push_front(std::move(*it));
        return true;
    });
    run->steps.push_back([me, run, recordOf] {
        me->busy_ = me->parent_ ? false : me->busyAtTopComplete_;
        me->FireDocumentComplete(me->AsDispatch(), run->finalUrl);
        me->busy_ = false;
        if (NavigationRecord* r = recordOf()) r->completed = true;
        return true;
    });
    RunNavigation(run);
}

}  // namespace tthost
