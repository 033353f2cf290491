#include "toolbar/band_win.h"

#include <oleauto.h>
#include <shlguid.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>

#include "settings/toolbar_settings.h"
#include "support/fault_guard.h"

namespace tt {
namespace {

std::atomic<ToolbandCtrlFactory> g_ctrlFactory{nullptr};

}  // namespace

HRESULT CreateTavelleToolbarBand(IUnknown* outer, REFIID riid, void** ppv) {
    return com::CreateInstance<CTavelleToolbar>(outer, riid, ppv);
}

void SetToolbandCtrlFactory(ToolbandCtrlFactory factory) { g_ctrlFactory.store(factory); }

CTavelleToolbar::CTavelleToolbar() = default;

CTavelleToolbar::~CTavelleToolbar() {
    control_.reset();  // destroys the toolbar window if it still exists
    retired_.clear();
    reflector_.Destroy();
    inputSite_.reset();
}

HRESULT CTavelleToolbar::QueryInterfaceTable(REFIID riid, void** ppv) {
    static const QITAB table[] = {
        QITABENT(CTavelleToolbar, ITavelleToolbar),
        QITABENTMULTI(CTavelleToolbar, IDispatch, ITavelleToolbar),
        QITABENTMULTI(CTavelleToolbar, IOleWindow, IDeskBand),
        QITABENT(CTavelleToolbar, IDeskBand),
        QITABENTMULTI(CTavelleToolbar, IDockingWindow, IDeskBand),
        QITABENT(CTavelleToolbar, IInputObject),
        QITABENT(CTavelleToolbar, ISupportErrorInfo),
        QITABENT(CTavelleToolbar, IObjectWithSite),
        {},
    };
    return com::SearchInterfaceTable(this, table, riid, ppv);
}

// ---- IDispatch

STDMETHODIMP CTavelleToolbar::GetTypeInfoCount(UINT* count) { return typeInfo_.GetTypeInfoCount(count); }

STDMETHODIMP CTavelleToolbar::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    return typeInfo_.GetTypeInfo(index, info);
}

STDMETHODIMP CTavelleToolbar::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return typeInfo_.GetIDsOfNames(riid, names, count, ids);
}

STDMETHODIMP CTavelleToolbar::Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    return typeInfo_.Invoke(static_cast<ITavelleToolbar*>(this), dispid, riid, flags, params, result,
                            excepInfo, argErr);
}

// ---- IOleWindow, IDockingWindow

STDMETHODIMP CTavelleToolbar::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_INVALIDARG;
    if (!control_) return E_INVALIDARG;
    *phwnd = control_->Handle();
    return S_OK;
}

STDMETHODIMP CTavelleToolbar::ContextSensitiveHelp(BOOL enter) {
    contextHelp_ = enter != FALSE;
    return S_OK;
}

STDMETHODIMP CTavelleToolbar::ShowDW(BOOL show) {
    if (control_ && control_->Handle()) ShowWindow(control_->Handle(), show ? SW_SHOW : SW_HIDE);
    return S_OK;
}

// The window stays: it goes with the band.
STDMETHODIMP CTavelleToolbar::CloseDW(DWORD) { return ShowDW(FALSE); }

STDMETHODIMP CTavelleToolbar::ResizeBorderDW(LPCRECT, IUnknown*, BOOL) { return S_OK; }

// ---- IDeskBand

STDMETHODIMP CTavelleToolbar::GetBandInfo(DWORD, DWORD, DESKBANDINFO* info) {
    GuardFaults([&] {
        int width = 20;
        int height = 26;
        if (control_) {
            width = control_->GetMinWidth();
            height = control_->GetBandHeight();
        }
        if (!info) return;
        if (info->dwMask & DBIM_MINSIZE) info->ptMinSize = {width, height};
        if (info->dwMask & DBIM_MAXSIZE) info->ptMaxSize = {0, height};
        if (info->dwMask & DBIM_INTEGRAL) info->ptIntegral = {0, 0};
        if (info->dwMask & DBIM_ACTUAL) info->ptActual = {width, height};
        if (info->dwMask & DBIM_TITLE) info->wszTitle[0] = L'\0';
        if (info->dwMask & DBIM_BKCOLOR) info->dwMask &= ~DBIM_BKCOLOR;      // the default background
        if (info->dwMask & DBIM_MODEFLAGS) info->dwModeFlags = DBIMF_BREAK;  // a row of its own
    });
    return S_OK;
}

// ---- IInputObject

STDMETHODIMP CTavelleToolbar::UIActivateIO(BOOL, MSG*) { return S_OK; }

STDMETHODIMP CTavelleToolbar::HasFocusIO() {
    bool focus = false;
    GuardFaults([&] { focus = control_ && control_->HasFocus(); });
    return focus ? S_OK : S_FALSE;
}

// A key may start a search here (texts, a navigation): a fault ends at the guard and the key is
// left to the browser.
STDMETHODIMP CTavelleToolbar::TranslateAcceleratorIO(MSG* msg) {
    // A search may navigate, and the browser may drop or re-site the band meanwhile.
    com_ptr<IUnknown> keepAlive(OuterUnknown());
    HRESULT hr = S_FALSE;
    if (!GuardFaults([&] {
            if (!control_) return;
            CIEToolbandCtrl::UseScope use(*control_);
            hr = control_->TranslateAccelerator(msg);
        }))
        return S_FALSE;
    return hr;
}

// ---- ISupportErrorInfo

STDMETHODIMP CTavelleToolbar::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_ITavelleToolbar) ? S_OK : S_FALSE;
}

// ---- IObjectWithSite

STDMETHODIMP CTavelleToolbar::SetSite(IUnknown* site) {
    // The calls below may drop references to this band; it stays until the call is over.
    com_ptr<IUnknown> keepAlive(OuterUnknown());
    HRESULT hr = S_OK;
    if (!GuardFaults([&] { hr = AttachToSite(site); })) return S_OK;
    return hr;
}

STDMETHODIMP CTavelleToolbar::GetSite(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!inputSite_) return E_FAIL;
    return inputSite_->QueryInterface(riid, ppv);
}

HRESULT CTavelleToolbar::AttachToSite(IUnknown* site) {
    if (!site) {
        // The browser is done with the band: its toolbar window no longer keeps it alive.
        if (control_) control_->ReleaseBand();
        return S_OK;
    }
    // A new site gets new windows; those of an earlier site go.
    DropControl();
    reflector_.Destroy();
    browser_ = nullptr;
    browserWindow_ = nullptr;
    parent_ = nullptr;

    inputSite_ = query<IInputObjectSite>(site);
    if (com_ptr<IOleWindow> window = query<IOleWindow>(site)) window->GetWindow(&parent_);
    if (!IsWindow(parent_)) return E_FAIL;

    com_ptr<IOleCommandTarget> target = query<IOleCommandTarget>(site);
    com_ptr<IServiceProvider> services =
        target ? target.query<IServiceProvider>() : com_ptr<IServiceProvider>();
    if (!services) return S_OK;
    com_ptr<IWebBrowser2> browser;
    if (FAILED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.put_void())) || !browser)
        return S_OK;
    browser_ = browser.get();
    SHANDLE_PTR window = 0;
    if (SUCCEEDED(browser_->get_HWND(&window))) browserWindow_ = reinterpret_cast<HWND>(window);
    if (FindVisibleChildByClass(L"InternetToolbarHost", browserWindow_)) theSettings.SetTabsAvailable(true);

    if (!CreateToolbarWindow()) return E_FAIL;
    control_->SetRebar(LocateRebar(browserWindow_));
    control_->SetInputObjectSite(inputSite_.get());
    com_ptr<IUnknown> self;
    OuterUnknown()->QueryInterface(IID_IUnknown, self.put_void());
    control_->SetBand(self.get());
    return S_OK;
}

void CTavelleToolbar::DropControl() {
    retired_.erase(
        std::remove_if(retired_.begin(), retired_.end(), [](const auto& c) { return !c->InUse(); }),
        retired_.end());
    if (!control_) return;
    if (!control_->InUse()) {
        control_.reset();
        return;
    }
    // One of its handlers waits in a modal loop: the window goes now, the object once the
    // handler has seen that and returned (at the next site or with the band).
    control_->ReleaseBand();
    if (control_->Handle() && IsWindow(control_->Handle())) DestroyWindow(control_->Handle());
    retired_.push_back(std::move(control_));
}

bool CTavelleToolbar::CreateToolbarWindow() {
    RECT rect = {};
    GetClientRect(parent_, &rect);
    reflector_.Create(parent_, rect);
    ToolbandCtrlFactory factory = g_ctrlFactory.load();
    control_ = factory ? factory() : CreateTavelleToolbarCtrl();
    if (control_) {
        control_->SetBrowser(browser_);
        control_->CreateToolbar(reflector_.Handle(), kTavelleToolbarResource);
        if (control_->Handle() && IsWindow(control_->Handle())) return true;
    }
    // No half-made toolbar is kept.
    control_.reset();
    reflector_.Destroy();
    return false;
}

}  // namespace tt
