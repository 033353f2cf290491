// The test browser's window, its band site, and the helpers tests use with it.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "host/debug_output_capture_win.h"
#include "host/host_test_support_win.h"
#include "host/host_window_win.h"
#include "host/message_box_answerer_win.h"
#include "support/fault_guard.h"

namespace tthost {
namespace {

using HostWindowTest = ComTest;

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

TEST_F(HostWindowTest, IsLaidOutAsABrowserFrameWithOrWithoutTabs) {
    HostWindow tabs;
    EXPECT_EQ(L"InternetToolbarHost", ClassOf(tabs.ToolbarHost()));
    EXPECT_EQ(tabs.Frame(), GetParent(tabs.ToolbarHost()));
    EXPECT_EQ(L"ReBarWindow32", ClassOf(tabs.Rebar()));
    EXPECT_EQ(tabs.ToolbarHost(), GetParent(tabs.Rebar()));
    EXPECT_EQ(tabs.Frame(), GetParent(tabs.Content()));
    SHANDLE_PTR hwnd = 0;
    ASSERT_EQ(S_OK, tabs.Browser()->get_HWND(&hwnd));
    EXPECT_EQ(tabs.Frame(), reinterpret_cast<HWND>(hwnd));
    EXPECT_FALSE(IsWindowVisible(tabs.Frame())) << "tests run hidden";

    HostWindowOptions options;
    options.tabs = false;
    HostWindow plain(options);
    EXPECT_EQ(nullptr, plain.ToolbarHost());
    EXPECT_EQ(plain.Frame(), GetParent(plain.Rebar()));
    EXPECT_EQ(nullptr, FindWindowExW(plain.Frame(), nullptr, L"InternetToolbarHost", nullptr));
}

TEST_F(HostWindowTest, TheBandSiteAnswersWhatItIsAllowedToAndRecordsIt) {
    HostWindow host;
    ComPtr<FakeBandSite> site = host.MakeBandSite();
    HWND window = nullptr;
    EXPECT_EQ(S_OK, site->GetWindow(&window));
    EXPECT_EQ(host.Rebar(), window);
    ComPtr<IWebBrowser2> browser;
    EXPECT_EQ(S_OK, site->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2,
                                       reinterpret_cast<void**>(browser.GetAddressOf())));
    EXPECT_EQ(static_cast<IWebBrowser2*>(host.Browser()), browser.Get());
    ComPtr<IUnknown> other;
    EXPECT_EQ(E_NOINTERFACE, site->QueryService(IID_IOleWindow, IID_IUnknown,
                                                reinterpret_cast<void**>(other.GetAddressOf())));
    ASSERT_EQ(2u, site->ServicesAsked().size());
    EXPECT_EQ(SID_SWebBrowserApp, site->ServicesAsked()[0]);

    IUnknown* someone = static_cast<IWebBrowser2*>(host.Browser());
    EXPECT_EQ(S_OK, site->OnFocusChangeIS(someone, TRUE));
    EXPECT_EQ(S_OK, site->OnFocusChangeIS(someone, FALSE));
    ASSERT_EQ(2u, site->FocusChanges().size());
    EXPECT_EQ(someone, site->FocusChanges()[0].object);
    EXPECT_TRUE(site->FocusChanges()[0].setFocus);
    EXPECT_FALSE(site->FocusChanges()[1].setFocus);

    BandSiteOptions poor;
    poor.oleWindow = false;
    poor.serviceProvider = false;
    poor.browserService = false;
    ComPtr<FakeBandSite> poorSite = host.MakeBandSite(poor);
    ComPtr<IOleWindow> noWindow;
    EXPECT_EQ(E_NOINTERFACE,
              poorSite->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(noWindow.GetAddressOf())));
    ComPtr<IServiceProvider> noServices;
    EXPECT_EQ(E_NOINTERFACE, poorSite->QueryInterface(IID_IServiceProvider,
                                                      reinterpret_cast<void**>(noServices.GetAddressOf())));
    ComPtr<IOleCommandTarget> target;
    EXPECT_EQ(S_OK, poorSite->QueryInterface(IID_IOleCommandTarget,
                                             reinterpret_cast<void**>(target.GetAddressOf())));
    EXPECT_EQ(E_NOINTERFACE,
              poorSite->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2,
                                     reinterpret_cast<void**>(browser.ReleaseAndGetAddressOf())));
}

// A band of the simplest kind: a static window, sized 50 by 20.
class StaticBand : public IDeskBand, public IObjectWithSite, public HostRefCount {
public:
    TTHOST_REFCOUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IDockingWindow ||
            riid == IID_IDeskBand) {
            *ppv = static_cast<IDeskBand*>(this);
        } else if (riid == IID_IObjectWithSite) {
            *ppv = static_cast<IObjectWithSite*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        *out = window;
        return window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShowDW(BOOL show) override {
        calls += show ? L"show " : L"hide ";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CloseDW(DWORD) override {
        calls += L"close ";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ResizeBorderDW(LPCRECT, IUnknown*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBandInfo(DWORD, DWORD, DESKBANDINFO* info) override {
        calls += L"info ";
        info->ptMinSize = {50, 20};
        info->ptActual = {50, 20};
        info->dwModeFlags = DBIMF_BREAK;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override {
        calls += site ? L"site " : L"nosite ";
        if (site) {
            ComPtr<IOleWindow> w;
            site->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(w.GetAddressOf()));
            HWND parent = nullptr;
            if (w) w->GetWindow(&parent);
            window = CreateWindowExW(0, L"STATIC", L"band", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, parent,
                                     nullptr, nullptr, nullptr);
            originalParent = parent;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSite(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_FAIL;
    }
    HWND window = nullptr;
    HWND originalParent = nullptr;
    std::wstring calls;
};

TEST_F(HostWindowTest, ShowBrowserBarPlacesTheBandInTheRebarAndHidingRemovesIt) {
    HostWindow host;
    ComPtr<StaticBand> band;
    band.Attach(new StaticBand());
    std::wstring askedFor;
    host.SetBandFactory([&](const std::wstring& clsid, IUnknown** out) {
        askedFor = clsid;
        *out = static_cast<IDeskBand*>(band.Get());
        band->AddRef();
        return S_OK;
    });
    VARIANT clsid, show;
    VariantInit(&clsid);
    VariantInit(&show);
    V_VT(&clsid) = VT_BSTR;
    V_BSTR(&clsid) = SysAllocString(L"{00000000-1111-2222-3333-444444444444}");
    V_VT(&show) = VT_BOOL;
    V_BOOL(&show) = VARIANT_TRUE;
    EXPECT_EQ(S_OK, host.Browser()->ShowBrowserBar(&clsid, &show, nullptr));
    EXPECT_EQ(S_OK, host.Browser()->ShowBrowserBar(&clsid, &show, nullptr)) << "shown once";
    EXPECT_EQ(L"{00000000-1111-2222-3333-444444444444}", askedFor);
    EXPECT_EQ(L"site info show ", band->calls);
    ASSERT_EQ(1u, host.Bands().size());
    EXPECT_EQ(band->window, host.Bands()[0].window);
    EXPECT_EQ(host.Rebar(), band->originalParent);
    EXPECT_EQ(1, SendMessageW(host.Rebar(), RB_GETBANDCOUNT, 0, 0));
    EXPECT_EQ(host.Rebar(), GetParent(band->window));

    V_BOOL(&show) = VARIANT_FALSE;
    EXPECT_EQ(S_OK, host.Browser()->ShowBrowserBar(&clsid, &show, nullptr));
    EXPECT_EQ(L"site info show hide close nosite ", band->calls);
    EXPECT_EQ(0, SendMessageW(host.Rebar(), RB_GETBANDCOUNT, 0, 0));
    EXPECT_TRUE(host.Bands().empty());
    VariantClear(&clsid);
    DestroyWindow(band->window);
}

TEST_F(HostWindowTest, TheContentAreaShowsTheCurrentPage) {
    HostWindow host;
    host.Browser()->SetPage(L"http://gw.example/ag.cgi",
                            L"<title>ログイン</title><form name=F><input name=a value=1></form>");
    wchar_t text[512] = {};
    GetWindowTextW(host.Content(), text, 512);
    EXPECT_NE(nullptr, wcsstr(text, L"http://gw.example/ag.cgi"));
    EXPECT_NE(nullptr, wcsstr(text, L"ログイン"));
    EXPECT_NE(nullptr, wcsstr(text, L"a=1"));
    GetWindowTextW(host.Frame(), text, 512);
    EXPECT_EQ(0, wcsncmp(text, L"ログイン - ", 6));
}

TEST_F(HostWindowTest, MessageBoxesAreAnsweredAndRecorded) {
    MessageBoxAnswerer answerer({IDNO, IDYES});
    EXPECT_EQ(IDNO,
              MessageBoxW(nullptr, L"本文\n二行目", L"題", MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2));
    EXPECT_EQ(IDYES, MessageBoxW(nullptr, L"次", L"題", MB_YESNO));
    // The last answer repeats; one the box lacks becomes what Escape would give.
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, L"了解", L"", MB_OK | MB_ICONERROR));
    const auto seen = answerer.Seen();
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(L"題", seen[0].caption);
    EXPECT_EQ(L"本文\n二行目", seen[0].text);
    EXPECT_EQ(std::vector<int>({IDYES, IDNO}), seen[0].buttons);
    EXPECT_EQ(IDNO, seen[0].defaultButton);
    EXPECT_EQ(IDYES, seen[1].defaultButton);
    EXPECT_EQ(L"", seen[2].caption);
    EXPECT_EQ(std::vector<int>({IDOK}), seen[2].buttons);
    EXPECT_EQ(IDOK, seen[2].answer);
}

TEST_F(HostWindowTest, DebugOutputIsCapturedWhileTheCaptureLives) {
    {
        DebugOutputCapture capture;
        tt::GuardFaults([] { tt::RaiseFault(); });
        tt::DebugOutput(u"line\n");
        EXPECT_EQ(1u, capture.Count(u"Exception code: c000001d\n"));
        EXPECT_TRUE(capture.Contains(u"line\n"));
        EXPECT_EQ(2u, capture.Lines().size());
        capture.Clear();
        EXPECT_TRUE(capture.Lines().empty());
    }
    DebugOutputCapture later;
    EXPECT_TRUE(later.Lines().empty()) << "each capture starts empty";
}

}  // namespace
}  // namespace tthost
