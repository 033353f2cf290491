// The toolbar band in a test browser: its interfaces, its size, the windows it builds from its
// site, poorer sites, its lifetime and its fault guard.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "fakes/fresh_state.h"
#include "host/debug_output_capture_win.h"
#include "host/host_test_support_win.h"
#include "host/host_window_win.h"
#include "settings/toolbar_settings.h"
#include "support/fault_guard.h"
#include "toolbar/band_win.h"

namespace tt {
namespace {

using tthost::BandSiteOptions;
using tthost::ComPtr;
using tthost::HostWindow;
using tthost::HostWindowOptions;

class Band : public testing::FreshStateTest<tthost::ComTest> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        SetToolbandCtrlFactory(nullptr);
        baseline_ = com::ModuleLockCount();
    }
    void TearDown() override {
        SetToolbandCtrlFactory(nullptr);
        FreshStateTest::TearDown();
    }
    static ComPtr<IDeskBand> NewBand() {
        ComPtr<IDeskBand> band;
        EXPECT_EQ(S_OK, CreateTavelleToolbarBand(nullptr, IID_IDeskBand,
                                                 reinterpret_cast<void**>(band.GetAddressOf())));
        return band;
    }
    static HRESULT SetSite(IDeskBand* band, IUnknown* site) {
        ComPtr<IObjectWithSite> withSite;
        EXPECT_EQ(S_OK, band->QueryInterface(IID_IObjectWithSite,
                                             reinterpret_cast<void**>(withSite.GetAddressOf())));
        return withSite->SetSite(site);
    }
    static CTavelleToolbar* Impl(IDeskBand* band) { return static_cast<CTavelleToolbar*>(band); }
    static std::wstring ClassOf(HWND hwnd) {
        wchar_t name[64] = {};
        GetClassNameW(hwnd, name, 64);
        return name;
    }
    LONG baseline_ = 0;
};

TEST_F(Band, AnswersItsInterfacesWithOneIdentity) {
    ComPtr<IDeskBand> band = NewBand();
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, band->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())));
    for (const IID* iid :
         {&IID_ITavelleToolbar, &IID_IDispatch, &IID_IOleWindow, &IID_IDeskBand, &IID_IDockingWindow,
          &IID_IInputObject, &IID_ISupportErrorInfo, &IID_IObjectWithSite}) {
        ComPtr<IUnknown> p;
        ASSERT_EQ(S_OK, band->QueryInterface(*iid, reinterpret_cast<void**>(p.GetAddressOf())));
        ComPtr<IUnknown> back;
        ASSERT_EQ(S_OK, p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(back.GetAddressOf())));
        EXPECT_EQ(identity.Get(), back.Get());
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE,
              band->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(none.GetAddressOf())));
    EXPECT_EQ(E_NOINTERFACE,
              band->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(none.GetAddressOf())));

    ComPtr<ISupportErrorInfo> errors;
    ASSERT_EQ(S_OK, band.As(&errors));
    EXPECT_EQ(S_OK, errors->InterfaceSupportsErrorInfo(IID_ITavelleToolbar));
    EXPECT_EQ(S_FALSE, errors->InterfaceSupportsErrorInfo(IID_IDeskBand));
    EXPECT_EQ(S_FALSE, errors->InterfaceSupportsErrorInfo(IID_IDispatch));

    // IDispatch is described by the module's type library.
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, band.As(&dispatch));
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, info.GetAddressOf()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(IID_ITavelleToolbar, attr->guid);
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, 0, info.ReleaseAndGetAddressOf()));
    DISPPARAMS none0 = {};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none0, nullptr, nullptr, nullptr));
}

// An outer object that aggregates the band.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
    int queries = 0;
};

TEST_F(Band, FollowsTheAggregationRules) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_POINTER, CreateTavelleToolbarBand(nullptr, IID_IUnknown, nullptr));
    Outer outer;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CreateTavelleToolbarBand(&outer, IID_IDeskBand, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_NOINTERFACE, CreateTavelleToolbarBand(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(baseline_, com::ModuleLockCount()) << "a failed query leaves nothing alive";

    ASSERT_EQ(S_OK, CreateTavelleToolbarBand(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
    EXPECT_EQ(baseline_ + 1, com::ModuleLockCount());
    IDeskBand* band = nullptr;
    ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IDeskBand, reinterpret_cast<void**>(&band)));
    // The band's interfaces speak for the outer object.
    const ULONG before = outer.refs;
    band->AddRef();
    EXPECT_EQ(before + 1, outer.refs);
    band->Release();
    IUnknown* viaBand = nullptr;
    const int queries = outer.queries;
    ASSERT_EQ(S_OK, band->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaBand)));
    EXPECT_EQ(&outer, viaBand);
    EXPECT_EQ(queries + 1, outer.queries);
    viaBand->Release();
    band->Release();
    outer.inner->Release();
    EXPECT_EQ(baseline_, com::ModuleLockCount());
}

TEST_F(Band, GetBandInfoFillsWhatTheMaskAsksFor) {
    ComPtr<IDeskBand> band = NewBand();
    // No toolbar window yet: 20 by 26.
    DESKBANDINFO info = {};
    info.dwMask = DBIM_MINSIZE | DBIM_ACTUAL;
    EXPECT_EQ(S_OK, band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &info));
    EXPECT_EQ(20, info.ptMinSize.x);
    EXPECT_EQ(26, info.ptMinSize.y);
    EXPECT_EQ(S_OK, band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, nullptr));

    HostWindow host;
    ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
    DESKBANDINFO full;
    memset(&full, 0x55, sizeof full);
    full.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE | DBIM_MODEFLAGS |
                  DBIM_BKCOLOR;
    EXPECT_EQ(S_OK, band->GetBandInfo(7, DBIF_VIEWMODE_NORMAL, &full));
    EXPECT_EQ(18, full.ptMinSize.x);
    EXPECT_EQ(26, full.ptMinSize.y);
    EXPECT_EQ(0, full.ptMaxSize.x);
    EXPECT_EQ(26, full.ptMaxSize.y);
    EXPECT_EQ(0, full.ptIntegral.x);
    EXPECT_EQ(0, full.ptIntegral.y);
    EXPECT_EQ(18, full.ptActual.x);
    EXPECT_EQ(26, full.ptActual.y);
    EXPECT_EQ(L'\0', full.wszTitle[0]);
    EXPECT_EQ(static_cast<DWORD>(DBIMF_BREAK), full.dwModeFlags);
    EXPECT_EQ(static_cast<DWORD>(DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                                 DBIM_MODEFLAGS),
              full.dwMask)
        << "the background bit comes back removed";
    EXPECT_EQ(0x55555555u, static_cast<DWORD>(full.crBkgnd)) << "the default background is not written";

    // Only what is asked for is written.
    DESKBANDINFO some;
    memset(&some, 0x55, sizeof some);
    some.dwMask = DBIM_MAXSIZE;
    EXPECT_EQ(S_OK, band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &some));
    EXPECT_EQ(26, some.ptMaxSize.y);
    EXPECT_EQ(0x55555555, some.ptMinSize.x);
    EXPECT_EQ(0x55555555, some.ptActual.y);
    EXPECT_EQ(0x55555555u, some.dwModeFlags);
    SetSite(band.Get(), nullptr);
}

TEST_F(Band, BuildsItsWindowsUnderTheSitesWindowInABrowserWithTabs) {
    HostWindow host;  // with an "InternetToolbarHost"
    ComPtr<IDeskBand> band = NewBand();
    ComPtr<tthost::FakeBandSite> site = host.MakeBandSite();
    ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(site.Get())));

    HWND toolbar = nullptr;
    ASSERT_EQ(S_OK, band->GetWindow(&toolbar));
    ASSERT_TRUE(IsWindow(toolbar));
    EXPECT_EQ(L"IEToolbandCtrl", ClassOf(toolbar));
    EXPECT_EQ(515, GetDlgCtrlID(toolbar));
    EXPECT_EQ(21, SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    HWND reflector = GetParent(toolbar);
    EXPECT_EQ(L"IEToolbandReflectorCtrl", ClassOf(reflector));
    EXPECT_EQ(Impl(band.Get())->ReflectorWindow(), reflector);
    EXPECT_EQ(host.Rebar(), GetParent(reflector)) << "the site's window is the parent";
    EXPECT_EQ(0, GetWindowLongPtrW(reflector, GWL_STYLE) & WS_VISIBLE);
    RECT rebarClient = {}, reflectorRect = {};
    GetClientRect(host.Rebar(), &rebarClient);
    GetClientRect(reflector, &reflectorRect);
    EXPECT_EQ(rebarClient.right, reflectorRect.right) << "made over the parent's client area";

    CIEToolbandCtrl* ctrl = Impl(band.Get())->Control();
    ASSERT_TRUE(ctrl);
    EXPECT_EQ(static_cast<IWebBrowser2*>(host.Browser()), ctrl->Browser());
    EXPECT_EQ(static_cast<IInputObjectSite*>(site.Get()), ctrl->InputObjectSite());
    EXPECT_EQ(host.Rebar(), ctrl->Rebar());
    ComPtr<IUnknown> identity;
    band->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf()));
    EXPECT_EQ(identity.Get(), ctrl->Band());
    EXPECT_TRUE(theSettings.TabsAvailable());
    EXPECT_EQ(host.Frame(), Impl(band.Get())->BrowserWindow());
    EXPECT_EQ(host.Rebar(), Impl(band.Get())->ParentWindow());

    // What the band asked of its site and of the browser.
    ASSERT_FALSE(site->ServicesAsked().empty());
    EXPECT_EQ(SID_SWebBrowserApp, site->ServicesAsked()[0]);
    EXPECT_EQ(1, site->GetWindowCalls());
    EXPECT_GE(host.Browser()->CountCalls(L"get_HWND"), 1);
    EXPECT_TRUE(host.Browser()->NavigateCalls().empty());

    // GetSite answers through the input-object site.
    ComPtr<IObjectWithSite> withSite;
    band.As(&withSite);
    ComPtr<IInputObjectSite> back;
    EXPECT_EQ(S_OK, withSite->GetSite(IID_IInputObjectSite, reinterpret_cast<void**>(back.GetAddressOf())));
    EXPECT_EQ(static_cast<IInputObjectSite*>(site.Get()), back.Get());

    // Shown and hidden; closing hides and keeps the window.
    ComPtr<IDockingWindow> docking;
    band.As(&docking);
    EXPECT_EQ(S_OK, docking->ShowDW(FALSE));
    EXPECT_EQ(0, GetWindowLongPtrW(toolbar, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(S_OK, docking->ShowDW(TRUE));
    EXPECT_NE(0, GetWindowLongPtrW(toolbar, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(S_OK, docking->CloseDW(0));
    EXPECT_EQ(0, GetWindowLongPtrW(toolbar, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(IsWindow(toolbar));
    EXPECT_EQ(S_OK, docking->ResizeBorderDW(nullptr, nullptr, FALSE));
    EXPECT_EQ(S_OK, band->ContextSensitiveHelp(TRUE));
    EXPECT_TRUE(Impl(band.Get())->ContextHelp());
    ComPtr<IInputObject> input;
    band.As(&input);
    EXPECT_EQ(S_OK, input->UIActivateIO(TRUE, nullptr));
    EXPECT_EQ(S_FALSE, input->HasFocusIO()) << "the plain toolbar never has the focus";
    SetSite(band.Get(), nullptr);
}

TEST_F(Band, WithoutAToolbarHostTheRebarIsTheBrowserWindowsOwn) {
    HostWindowOptions options;
    options.tabs = false;
    HostWindow host(options);
    ComPtr<IDeskBand> band = NewBand();
    ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
    EXPECT_FALSE(theSettings.TabsAvailable());
    ASSERT_TRUE(Impl(band.Get())->Control());
    EXPECT_EQ(host.Rebar(), Impl(band.Get())->Control()->Rebar());
    EXPECT_EQ(host.Frame(), GetParent(host.Rebar()));
    SetSite(band.Get(), nullptr);
}

TEST_F(Band, ASiteWithoutAWindowIsRefused) {
    HostWindow host;
    ComPtr<IDeskBand> band = NewBand();
    BandSiteOptions noWindow;
    noWindow.oleWindow = false;
    EXPECT_EQ(E_FAIL, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite(noWindow).Get())));
    HWND out = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    EXPECT_EQ(E_INVALIDARG, band->GetWindow(&out));

    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    BandSiteOptions deadWindow;
    deadWindow.window = gone;
    EXPECT_EQ(E_FAIL, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite(deadWindow).Get())));
    EXPECT_EQ(nullptr, Impl(band.Get())->Control());
    EXPECT_EQ(nullptr, FindWindowExW(host.Rebar(), nullptr, L"IEToolbandReflectorCtrl", nullptr));
}

TEST_F(Band, ASiteWithoutTheBrowserGetsNoWindowsButSucceeds) {
    HostWindow host;
    for (int variant = 0; variant < 3; ++variant) {
        BandSiteOptions options;
        if (variant == 0) options.browserService = false;
        if (variant == 1) options.commandTarget = false;
        if (variant == 2) options.serviceProvider = false;
        ComPtr<IDeskBand> band = NewBand();
        ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite(options).Get())))
            << variant;
        HWND out = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
        EXPECT_EQ(E_INVALIDARG, band->GetWindow(&out));
        EXPECT_EQ(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234)), out) << "left untouched";
        EXPECT_EQ(E_INVALIDARG, band->GetWindow(nullptr));
        ComPtr<IInputObject> input;
        band.As(&input);
        EXPECT_EQ(S_FALSE, input->HasFocusIO());
        MSG msg = {host.Frame(), WM_KEYDOWN, VK_LEFT, 0, 0, {0, 0}};
        EXPECT_EQ(S_FALSE, input->TranslateAcceleratorIO(&msg));
        DESKBANDINFO info = {};
        info.dwMask = DBIM_MINSIZE;
        band->GetBandInfo(0, 0, &info);
        EXPECT_EQ(20, info.ptMinSize.x);
        ComPtr<IDockingWindow> docking;
        band.As(&docking);
        EXPECT_EQ(S_OK, docking->ShowDW(TRUE));
        EXPECT_EQ(nullptr, FindWindowExW(host.Rebar(), nullptr, L"IEToolbandReflectorCtrl", nullptr));
        EXPECT_FALSE(theSettings.TabsAvailable());
    }
}

TEST_F(Band, WithoutASiteGetSiteFails) {
    ComPtr<IDeskBand> band = NewBand();
    ComPtr<IObjectWithSite> withSite;
    band.As(&withSite);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, withSite->GetSite(IID_IUnknown, nullptr));
    EXPECT_EQ(S_OK, withSite->SetSite(nullptr)) << "a null site changes nothing";
}

TEST_F(Band, ItsToolbarWindowKeepsItAliveUntilTheSiteIsTakenAway) {
    HostWindow host;
    HWND toolbar = nullptr, reflector = nullptr;
    {
        ComPtr<IDeskBand> band = NewBand();
        ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
        band->GetWindow(&toolbar);
        reflector = Impl(band.Get())->ReflectorWindow();
    }
    // The browser let go, but the window holds the band.
    EXPECT_TRUE(IsWindow(toolbar));
    EXPECT_EQ(baseline_ + 1, com::ModuleLockCount());

    // The site taken away (as the browser does when the band closes) lets it go.
    {
        ComPtr<IDeskBand> band = NewBand();
        ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
        HWND second = nullptr;
        band->GetWindow(&second);
        EXPECT_EQ(baseline_ + 2, com::ModuleLockCount());
        EXPECT_EQ(S_OK, SetSite(band.Get(), nullptr));
        EXPECT_TRUE(IsWindow(second)) << "taking the site away changes no window";
        band.Reset();
        EXPECT_FALSE(IsWindow(second)) << "the band's end destroys its windows";
        EXPECT_EQ(baseline_ + 1, com::ModuleLockCount());
    }
    // A destroyed host takes the first band's windows and the band with them.
    DestroyWindow(host.Rebar());
    EXPECT_FALSE(IsWindow(toolbar));
    EXPECT_FALSE(IsWindow(reflector));
    EXPECT_EQ(baseline_, com::ModuleLockCount());
}

TEST_F(Band, ASecondSiteBuildsNewWindowsInPlaceOfTheFirst) {
    HostWindow host;
    ComPtr<IDeskBand> band = NewBand();
    ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
    HWND first = nullptr;
    band->GetWindow(&first);
    HWND firstReflector = Impl(band.Get())->ReflectorWindow();
    ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
    HWND second = nullptr;
    band->GetWindow(&second);
    EXPECT_TRUE(IsWindow(second));
    EXPECT_NE(first, second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(IsWindow(firstReflector));
    SetSite(band.Get(), nullptr);
}

// Toolbar windows of the tests: one that has the focus, one that faults.
class FocusedCtrl : public CIEToolbandCtrl {
public:
    bool HasFocus() override { return true; }
};
class FaultingCtrl : public CIEToolbandCtrl {
public:
    int GetMinWidth() override { RaiseFault(); }
};
std::unique_ptr<CIEToolbandCtrl> MakeFocused() { return std::make_unique<FocusedCtrl>(); }
std::unique_ptr<CIEToolbandCtrl> MakeFaulting() { return std::make_unique<FaultingCtrl>(); }
std::unique_ptr<CIEToolbandCtrl> FaultInstead() { RaiseFault(kFaultOutOfMemory); }

TEST_F(Band, FocusAndKeysAreTheToolbarWindowsToAnswer) {
    SetToolbandCtrlFactory(MakeFocused);
    HostWindow host;
    ComPtr<IDeskBand> band = NewBand();
    ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
    ComPtr<IInputObject> input;
    band.As(&input);
    EXPECT_EQ(S_OK, input->HasFocusIO());
    HWND toolbar = nullptr;
    band->GetWindow(&toolbar);
    MSG left = {toolbar, WM_KEYDOWN, VK_LEFT, 0, 0, {0, 0}};
    EXPECT_EQ(S_OK, input->TranslateAcceleratorIO(&left));
    MSG f5 = {toolbar, WM_KEYDOWN, VK_F5, 0, 0, {0, 0}};
    EXPECT_EQ(S_FALSE, input->TranslateAcceleratorIO(&f5));
    SetSite(band.Get(), nullptr);
}

TEST_F(Band, FaultsInSetSiteAndGetBandInfoAreLoggedAndAnsweredWithSOk) {
    tthost::DebugOutputCapture output;
    HostWindow host;
    SetToolbandCtrlFactory(MakeFaulting);
    ComPtr<IDeskBand> band = NewBand();
    ASSERT_EQ(S_OK, SetSite(band.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
    DESKBANDINFO info = {};
    info.dwMask = DBIM_MINSIZE | DBIM_BKCOLOR;
    EXPECT_EQ(S_OK, band->GetBandInfo(0, 0, &info));
    EXPECT_EQ(1u, output.Count(u"Exception code: c000001d\n"));
    SetSite(band.Get(), nullptr);

    SetToolbandCtrlFactory(FaultInstead);
    ComPtr<IDeskBand> other = NewBand();
    EXPECT_EQ(S_OK, SetSite(other.Get(), static_cast<IOleWindow*>(host.MakeBandSite().Get())));
    EXPECT_EQ(1u, output.Count(u"Exception code: c0000017\n"));
    HWND out = nullptr;
    EXPECT_EQ(E_INVALIDARG, other->GetWindow(&out));
}

// A toolbar window whose Enter key needs memory that is not there.
class KeyAllocatingCtrl : public CIEToolbandCtrl {
public:
    bool HasFocus() override { return true; }
    HRESULT TranslateAccelerator(MSG* msg) override {
        if (msg->wParam == VK_RETURN) {
            volatile size_t tooMuch = SIZE_MAX - 4096;
            ::operator delete(::operator new(tooMuch));
        }
        return S_OK;
    }
};

TEST_F(Band, AnAllocationFailureUnderAKeyEndsAtTheGuardAndTheBrowserGoesOn) {
    tthost::DebugOutputCapture output;
    SetToolbandCtrlFactory(
        []() -> std::unique_ptr<CIEToolbandCtrl> { return std::make_unique<KeyAllocatingCtrl>(); });
    HostWindow host;
    ComPtr<IDeskBand> band = NewBand();
    ASSERT_EQ(S_OK, host.AddBand(band.Get()));
    MSG enter = {host.Bands()[0].window, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_FALSE(host.TranslateBandAccelerator(enter)) << "the key is left to the browser";
    EXPECT_EQ(1u, output.Count(u"Exception code: c0000017\n"));
    MSG left = {host.Bands()[0].window, WM_KEYDOWN, VK_LEFT, 0, 0, {0, 0}};
    EXPECT_TRUE(host.TranslateBandAccelerator(left)) << "the band still takes its keys";
    host.RemoveBands();
}

TEST_F(Band, TheHostPlacesTheBandAndItsButtonsNotificationsComeBackReflected) {
    class Recording : public CIEToolbandCtrl {
    public:
        bool ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) override {
            if (msg == OCM_COMMAND) commands.push_back(LOWORD(wParam));
            return CIEToolbandCtrl::ProcessWindowMessage(hwnd, msg, wParam, lParam, result);
        }
        std::vector<int> commands;
    };
    static Recording* made = nullptr;
    SetToolbandCtrlFactory([]() -> std::unique_ptr<CIEToolbandCtrl> {
        auto ctrl = std::make_unique<Recording>();
        made = ctrl.get();
        return ctrl;
    });
    HostWindow host;
    ComPtr<IDeskBand> band = NewBand();
    ASSERT_EQ(S_OK, host.AddBand(band.Get()));
    ASSERT_EQ(1u, host.Bands().size());
    const tthost::HostedBand& placed = host.Bands()[0];
    EXPECT_EQ(S_OK, placed.setSiteResult);
    EXPECT_EQ(18, placed.info.ptMinSize.x);
    EXPECT_EQ(static_cast<DWORD>(DBIMF_BREAK), placed.info.dwModeFlags);
    EXPECT_EQ(0u, placed.info.dwMask & DBIM_BKCOLOR);
    ASSERT_EQ(1, SendMessageW(host.Rebar(), RB_GETBANDCOUNT, 0, 0));
    REBARBANDINFOW rb = {};
    rb.cbSize = sizeof rb;
    rb.fMask = RBBIM_CHILD;
    SendMessageW(host.Rebar(), RB_GETBANDINFOW, 0, reinterpret_cast<LPARAM>(&rb));
    EXPECT_EQ(placed.window, rb.hwndChild);
    EXPECT_EQ(Impl(band.Get())->ReflectorWindow(), placed.originalParent);

    // A button's command goes to the toolbar's parent of the moment (the rebar) and comes back
    // to the toolbar as OCM_COMMAND through the reflector.
    ASSERT_TRUE(made);
    SendMessageW(GetParent(placed.window), WM_COMMAND, MAKEWPARAM(2002, BN_CLICKED),
                 reinterpret_cast<LPARAM>(placed.window));
    EXPECT_EQ(std::vector<int>({2002}), made->commands);
    host.RemoveBands();
    EXPECT_EQ(0, SendMessageW(host.Rebar(), RB_GETBANDCOUNT, 0, 0));
    made = nullptr;
}

}  // namespace
}  // namespace tt
