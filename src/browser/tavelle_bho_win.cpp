#include "browser/tavelle_bho_win.h"

#include <exdispid.h>
#include <oleauto.h>

#include <new>

#include "browser/auto_setting.h"
#include "browser/auto_setting_prompts_win.h"
#include "browser/html_document_win.h"
#include "browser/page_complete.h"
#include "browser/server_page.h"
#include "browser/user_agent_token_win.h"
#include "net/permission.h"
#include "settings/auto_login.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"
#include "support/fault_guard.h"
#include "text/url.h"

namespace tt {
namespace {

// The browser events this object handles, with the number of parameters each carries.
struct EventRow {
    DISPID dispid;
    UINT argumentCount;
};
constexpr EventRow kEventTable[] = {
    {DISPID_BEFORENAVIGATE2, 7}, {DISPID_DOCUMENTCOMPLETE, 2}, {DISPID_NEWWINDOW2, 2},
    {DISPID_NAVIGATEERROR, 5},   {DISPID_DOWNLOADBEGIN, 0},    {DISPID_DOWNLOADCOMPLETE, 0},
    {DISPID_ONQUIT, 0},
};

// Parameter i (0 = first) of an event; variants passed by reference are followed.
VARIANT* Argument(DISPPARAMS* params, UINT i) {
    VARIANT* v = &params->rgvarg[params->cArgs - 1 - i];
    while (v && v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    return v;
}

com_ptr<IDispatch> DispatchArgument(VARIANT* v) {
    if (!v) return {};
    switch (v->vt) {
        case VT_DISPATCH:
            return com_ptr<IDispatch>(v->pdispVal);
        case VT_BYREF | VT_DISPATCH:
            return v->ppdispVal ? com_ptr<IDispatch>(*v->ppdispVal) : com_ptr<IDispatch>();
        case VT_UNKNOWN:
            return query<IDispatch>(v->punkVal);
        default:
            return {};
    }
}

std::u16string StringArgument(VARIANT* v) {
    if (!v) return {};
    if (v->vt == VT_BSTR) return FromBstr(v->bstrVal);
    if (v->vt == (VT_BYREF | VT_BSTR)) return v->pbstrVal ? FromBstr(*v->pbstrVal) : std::u16string();
    unique_variant converted;
    if (FAILED(VariantChangeType(converted.get(), v, 0, VT_BSTR))) return {};
    return FromBstr(converted->bstrVal);
}

std::u16string GuidText(REFGUID guid) {
    wchar_t text[40];
    int n = StringFromGUID2(guid, text, 40);
    return n > 1 ? FromWide(text, static_cast<size_t>(n - 1)) : std::u16string();
}

}  // namespace

// The connection point of _ITavelleBHOEvents. It is part of the helper object (its references
// are the object's) and keeps the sinks it is given; the product never fires these events.
class CTavelleBHO::EventsConnectionPoint final : public IConnectionPoint {
public:
    explicit EventsConnectionPoint(CTavelleBHO* owner) : owner_(owner) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->OuterUnknown()->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->OuterUnknown()->Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = DIID__ITavelleBHOEvents;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        *container = static_cast<IConnectionPointContainer*>(owner_);
        (*container)->AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        com_ptr<IUnknown> held;
        if (FAILED(sink->QueryInterface(DIID__ITavelleBHOEvents, held.put_void())) &&
            FAILED(sink->QueryInterface(IID_IDispatch, held.put_void()))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        // Keeping the sink allocates: a failure there ends at the guard, not in the caller.
        if (!GuardFaults([&] { sinks_.emplace_back(nextCookie_, std::move(held)); })) return E_OUTOFMEMORY;
        *cookie = nextCookie_++;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->first == cookie) {
                com_ptr<IUnknown> released = std::move(it->second);
                sinks_.erase(it);
                return S_OK;
            }
        }
        return CONNECT_E_NOCONNECTION;
    }
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override {
        if (connections) *connections = nullptr;
        return E_NOTIMPL;
    }

    void ReleaseSinks() { sinks_.clear(); }

private:
    CTavelleBHO* owner_;
    std::vector<std::pair<DWORD, com_ptr<IUnknown>>> sinks_;
    DWORD nextCookie_ = 1;
};

HRESULT CreateTavelleBHO(IUnknown* outer, REFIID riid, void** ppv) {
    return com::CreateInstance<CTavelleBHO>(outer, riid, ppv);
}

CTavelleBHO::CTavelleBHO() : eventsPoint_(new (std::nothrow) EventsConnectionPoint(this)) {}

CTavelleBHO::~CTavelleBHO() {
    if (eventsPoint_) eventsPoint_->ReleaseSinks();
    delete eventsPoint_;
}

HRESULT CTavelleBHO::FinalConstruct() { return eventsPoint_ ? S_OK : E_OUTOFMEMORY; }

HRESULT CTavelleBHO::QueryInterfaceTable(REFIID riid, void** ppv) {
    static const QITAB table[] = {
        QITABENT(CTavelleBHO, ITavelleBHO),
        QITABENTMULTI(CTavelleBHO, IDispatch, ITavelleBHO),
        QITABENT(CTavelleBHO, IConnectionPointContainer),
        QITABENT(CTavelleBHO, IObjectWithSite),
        // The browser's connection point may ask the sink for the event interface itself.
        QITABENTMULTI2(CTavelleBHO, DIID_DWebBrowserEvents2, ITavelleBHO),
        {},
    };
    return com::SearchInterfaceTable(this, table, riid, ppv);
}

// IDispatch of ITavelleBHO, described by the module's own type library.
STDMETHODIMP CTavelleBHO::GetTypeInfoCount(UINT* count) { return typeInfo_.GetTypeInfoCount(count); }

STDMETHODIMP CTavelleBHO::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    return typeInfo_.GetTypeInfo(index, info);
}

STDMETHODIMP CTavelleBHO::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return typeInfo_.GetIDsOfNames(riid, names, count, ids);
}

STDMETHODIMP CTavelleBHO::Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    HRESULT hr = E_ABORT;
    // A handler may unadvise (OnQuit) and so drop the browser's reference to this object.
    com_ptr<IUnknown> keepAlive(OuterUnknown());
    GuardFaults([&] {
        bool handled = false;
        HRESULT pre = PreInvoke(dispid, riid, lcid, flags, params, result, excepInfo, argErr, &handled);
        if (FAILED(pre) || handled) {
            hr = pre;
            return;
        }
        hr = DispatchEvent(dispid, params);
    });
    return hr;
}

HRESULT CTavelleBHO::PreInvoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*,
                               bool* handled) {
    *handled = false;
    return S_OK;
}

HRESULT CTavelleBHO::DispatchEvent(DISPID dispid, DISPPARAMS* params) {
    const EventRow* row = nullptr;
    for (const EventRow& r : kEventTable) {
        if (r.dispid == dispid) row = &r;
    }
    if (!row) return S_OK;
    // Parameters that do not match the event's description reach no handler.
    UINT given = params ? params->cArgs : 0;
    if (given != row->argumentCount || (given > 0 && !params->rgvarg)) return S_OK;
    switch (dispid) {
        case DISPID_BEFORENAVIGATE2:
            OnBeforeNavigate2(DispatchArgument(Argument(params, 0)).get());
            break;
        case DISPID_DOCUMENTCOMPLETE:
            OnDocumentComplete(DispatchArgument(Argument(params, 0)).get(),
                               StringArgument(Argument(params, 1)));
            break;
        case DISPID_NEWWINDOW2:
            OnNewWindow2();
            break;
        case DISPID_NAVIGATEERROR:
            OnNavigateError();
            break;
        case DISPID_DOWNLOADBEGIN:
            OnDownloadBegin();
            break;
        case DISPID_DOWNLOADCOMPLETE:
            OnDownloadComplete();
            break;
        case DISPID_ONQUIT:
            OnQuit();
            break;
    }
    return S_OK;
}

STDMETHODIMP CTavelleBHO::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CTavelleBHO::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(riid, DIID__ITavelleBHOEvents)) return CONNECT_E_NOCONNECTION;
    *point = eventsPoint_;
    eventsPoint_->AddRef();
    return S_OK;
}

STDMETHODIMP CTavelleBHO::SetSite(IUnknown* site) {
    HRESULT hr = E_ABORT;
    GuardFaults([&] { hr = Attach(site); });
    return hr;
}

STDMETHODIMP CTavelleBHO::GetSite(REFIID riid, void** site) {
    if (!site) return E_POINTER;
    *site = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(riid, site);
}

HRESULT CTavelleBHO::Attach(IUnknown* site) {
    // The browser hands a null site when the window closes; the sink stays advised until the
    // browser's quit event.
    if (!site) return S_OK;
    browser_ = query<IWebBrowser2>(site);
    if (!browser_) return E_INVALIDARG;
    container_ = browser_.query<IConnectionPointContainer>();
    if (!container_) return E_POINTER;
    SHANDLE_PTR window = 0;
    if (FAILED(browser_->get_HWND(&window)) || !IsWindow(reinterpret_cast<HWND>(window))) return E_POINTER;
    browserWindow_ = reinterpret_cast<HWND>(window);

    std::u16string token = GetUserAgentToken();
    if (!token.empty()) AddUserAgentToken(token);

    TT_RETURN_IF_FAILED(Advise());
    OnSiteAttached();
    site_ = com_ptr<IUnknown>(site);
    return S_OK;
}

HRESULT CTavelleBHO::Advise() {
    if (eventCookie_ != kNotAdvised) RaiseFault();  // the same instance attached twice
    com_ptr<IConnectionPoint> point;
    TT_RETURN_IF_FAILED(container_->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put()));
    DWORD cookie = 0;
    TT_RETURN_IF_FAILED(point->Advise(static_cast<ITavelleBHO*>(this), &cookie));
    eventCookie_ = cookie;
    OnAdvised();
    advised_ = true;
    return S_OK;
}

void CTavelleBHO::OnSiteAttached() {
    GuardFaults([&] {
        theSettings.Load(false);
        // Before any page completes: the log-in form is filled only where the server allows it.
        ApplyStoredPermission();
        if (!theSettings.TakeFirstRun()) return;
        // First run of the process: show the toolbar band once.
        unique_variant band;
        band->vt = VT_BSTR;
        band->bstrVal = MakeBstr(GuidText(CLSID_TavelleToolbar)).release();
        if (!band->bstrVal) RaiseFault(kFaultOutOfMemory);
        unique_variant show;
        show->vt = VT_BOOL;
        show->boolVal = VARIANT_TRUE;
        unique_variant size;
        browser_->ShowBrowserBar(band.get(), show.get(), size.get());
        dialogOwnerBrowser_ = browser_;
        dialogOwnerWindow_ = browserWindow_;
    });
}

bool CTavelleBHO::IsTop(IDispatch* pDisp) {
    com_ptr<IWebBrowser2> eventBrowser = query<IWebBrowser2>(pDisp);
    return eventBrowser && IsSameObject(eventBrowser.get(), browser_.get());
}

void CTavelleBHO::OnBeforeNavigate2(IDispatch* pDisp) {
    GuardFaults([&] { tracker_.OnBeforeNavigate(IsTop(pDisp)); });
}

void CTavelleBHO::OnDocumentComplete(IDispatch* pDisp, const std::u16string& url) {
    GuardFaults([&] {
        com_ptr<IWebBrowser2> eventBrowser = query<IWebBrowser2>(pDisp);
        VARIANT_BOOL busy = VARIANT_FALSE;
        if (eventBrowser && FAILED(eventBrowser->get_Busy(&busy))) busy = VARIANT_FALSE;
        if (!tracker_.OnDocumentComplete(IsTop(pDisp), busy != VARIANT_FALSE)) return;
        OnPageComplete(eventBrowser.get(), url, false);
        tracker_.DocumentReported();
    });
}

void CTavelleBHO::OnDownloadBegin() { tracker_.OnDownloadBegin(); }

void CTavelleBHO::OnDownloadComplete() {
    GuardFaults([&] {
        if (!tracker_.OnDownloadComplete() || !browser_) return;
        BSTR location = nullptr;
        HRESULT hr = browser_->get_LocationURL(&location);
        unique_bstr owner(location);
        OnPageComplete(browser_.get(), SUCCEEDED(hr) ? FromBstr(location) : std::u16string(), true);
    });
}

void CTavelleBHO::OnQuit() {
    if (!advised_) return;
    HRESULT hr = E_FAIL;
    com_ptr<IConnectionPoint> point;
    if (container_ && SUCCEEDED(container_->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put())))
        hr = point->Unadvise(eventCookie_);
    eventCookie_ = kNotAdvised;
    if (SUCCEEDED(hr)) {
        OnUnadvised();
        advised_ = false;
    }
}

void CTavelleBHO::OnPageComplete(IWebBrowser2* browser, const std::u16string& url, bool) {
    GuardFaults([&] { HandlePageComplete(browser, url); });
}

void CTavelleBHO::HandlePageComplete(IWebBrowser2* browser, const std::u16string& url) {
    std::u16string serverUrl = theSettings.GetServerUrl();
    std::u16string baseUrl = serverUrl.empty() ? GetServerBaseUrl(url) : std::u16string();
    switch (DecidePageComplete(serverUrl, url, baseUrl, IsTop(browser))) {
        case PageCompleteAction::None:
            return;
        case PageCompleteAction::AutomaticSetting: {
            MessageBoxAutoSettingPrompts prompts(dialogOwnerWindow_);
            RunAutomaticSetting(baseUrl, theSettings, prompts);
            return;
        }
        case PageCompleteAction::ServerPage: {
            std::unique_ptr<HtmlServerDocument> document = HtmlServerDocument::FromBrowser(browser);
            if (!document) return;
            LoginAccount account{
                [] { return IsAutoLoginActive(); },
                [] { return theSettings.Get(u"Username"); },
                [] { return LoadProtectedValue(u"UserPassword"); },
            };
            HandleServerPage(*document, theProcessState, serverUrl, account);
            return;
        }
    }
}

}  // namespace tt
