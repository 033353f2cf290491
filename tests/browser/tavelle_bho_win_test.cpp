// The browser helper object in the test browser: attachment, the event sink and the completion
// counters, the first-run band, the user-agent token, the page-complete handling with its
// message boxes, and the automatic log-in against real HTTP answers.
#include <gtest/gtest.h>

#include <urlmon.h>

#include <string>
#include <vector>

#include "TavelleToolbarIE_h.h"
#include "browser/tavelle_bho_win.h"
#include "fakes/fresh_state.h"
#include "host/debug_output_capture_win.h"
#include "host/host_test_support_win.h"
#include "host/local_http_server_win.h"
#include "host/message_box_answerer_win.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "support/com_ptr_win.h"
#include "support/fault_guard.h"

namespace {

using tt::theSettings;
using tthost::ComPtr;
using tthost::FakeBrowser;

// A window for the browser (the helper object insists on one).
class HostWindow {
public:
    HostWindow()
        : hwnd_(CreateWindowW(L"STATIC", L"browser", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr)) {}
    HWND get() const { return hwnd_.get(); }

private:
    tt::unique_hwnd hwnd_;
};

struct PageCompleteCall {
    IUnknown* browser;  // identity only
    std::u16string url;
    bool afterDownload;
};

// Records the page-complete calls instead of handling them.
class ProbeBHO final : public tt::CTavelleBHO {
public:
    std::vector<PageCompleteCall> calls;
    void OnPageComplete(IWebBrowser2* browser, const std::u16string& url, bool afterDownload) override {
        calls.push_back({tt::query<IUnknown>(browser).get(), url, afterDownload});
    }
};

template <class T>
tt::com_ptr<IObjectWithSite> Create(T** object) {
    tt::com_ptr<IObjectWithSite> site;
    EXPECT_EQ(S_OK, tt::com::CreateInstance<T>(nullptr, IID_IObjectWithSite, site.put_void()));
    *object = static_cast<T*>(site.get());
    return site;
}

IUnknown* Identity(IUnknown* p) { return tt::query<IUnknown>(p).get(); }

std::string ProcessUserAgent() {
    char buffer[512] = {};
    DWORD length = 0;
    UrlMkGetSessionOption(URLMON_OPTION_USERAGENT, buffer, sizeof buffer, &length, 0);
    return buffer;
}

// The settings the helper object reads, stored as it will load them.
void StoreSettings(const std::u16string& serverUrl, const std::u16string& autoLogin = u"No",
                   const std::u16string& user = u"", const std::u16string& disable = u"") {
    theSettings.Load(false);
    theSettings.Set(u"TavelleUrl", serverUrl);
    theSettings.Set(u"AutoLogin", autoLogin);
    theSettings.Set(u"Username", user);
    theSettings.Set(u"DisableAutoSetting", disable);
    theSettings.Save(true);
}

class BhoTest : public tt::testing::FreshStateTest<tthost::ComTest> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        StoreSettings(u"");
        theSettings.SetFirstRun(false);
        browser = FakeBrowser::Create(nullptr, window.get());
    }
    void TearDown() override {
        if (browser) browser->ReleaseSinks();
        browser.Reset();
        FreshStateTest::TearDown();
    }

    HostWindow window;
    ComPtr<FakeBrowser> browser;
};

TEST_F(BhoTest, AttachesAdvisesAndStaysAdvisedUntilQuit) {
    tt::CTavelleBHO* bho = nullptr;
    auto site = Create(&bho);
    ASSERT_EQ(S_OK, site->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    EXPECT_EQ(1u, browser->SinkCount());
    EXPECT_TRUE(bho->Advised());
    EXPECT_NE(tt::CTavelleBHO::kNotAdvised, bho->EventCookie());
    tt::com_ptr<IUnknown> stored;
    EXPECT_EQ(S_OK, site->GetSite(IID_IUnknown, stored.put_void()));
    EXPECT_EQ(Identity(static_cast<IWebBrowser2*>(browser.Get())), stored.get());

    // A null site changes nothing: the sink stays until the browser quits.
    EXPECT_EQ(S_OK, site->SetSite(nullptr));
    EXPECT_EQ(1u, browser->SinkCount());
    EXPECT_EQ(0, browser->UnadviseCount());

    EXPECT_EQ(S_OK, browser->FireOnQuit());
    EXPECT_EQ(0u, browser->SinkCount());
    EXPECT_EQ(1, browser->UnadviseCount());
    EXPECT_FALSE(bho->Advised());
    EXPECT_EQ(tt::CTavelleBHO::kNotAdvised, bho->EventCookie());
    // A second quit (or a quit of an instance never advised) does nothing.
    bho->OnQuit();
    EXPECT_EQ(1, browser->UnadviseCount());
}

TEST_F(BhoTest, RefusesSitesThatAreNoUsableBrowser) {
    tt::CTavelleBHO* bho = nullptr;
    auto site = Create(&bho);
    tt::com_ptr<IUnknown> notABrowser;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IUnknown, notABrowser.put_void()));
    EXPECT_EQ(E_INVALIDARG, site->SetSite(notABrowser.get()));
    EXPECT_FALSE(bho->Advised());
    tt::com_ptr<IUnknown> none;
    EXPECT_EQ(E_FAIL, site->GetSite(IID_IUnknown, none.put_void()));

    // A browser without a window.
    ComPtr<FakeBrowser> windowless = FakeBrowser::Create(nullptr, nullptr);
    EXPECT_EQ(E_POINTER, site->SetSite(static_cast<IWebBrowser2*>(windowless.Get())));
    EXPECT_EQ(0u, windowless->SinkCount());
    EXPECT_FALSE(bho->Advised());
}

TEST_F(BhoTest, SecondAttachmentOfOneInstanceEndsAtTheFaultGuard) {
    tt::CTavelleBHO* bho = nullptr;
    auto site = Create(&bho);
    ASSERT_EQ(S_OK, site->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    tthost::DebugOutputCapture debug;
    EXPECT_EQ(E_ABORT, site->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    EXPECT_TRUE(debug.Contains(u"Exception code: c000001d\n"));
    EXPECT_EQ(1u, browser->SinkCount()) << "the first advise stands";
}

TEST_F(BhoTest, AddsTheProductTokenToTheUserAgentOnce) {
    tt::CTavelleBHO* first = nullptr;
    auto a = Create(&first);
    ASSERT_EQ(S_OK, a->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    std::string agent = ProcessUserAgent();
    EXPECT_NE(std::string::npos, agent.find("; TavelleToolbar/0.1.1)")) << agent;

    ComPtr<FakeBrowser> other = FakeBrowser::Create(nullptr, window.get());
    tt::CTavelleBHO* second = nullptr;
    auto b = Create(&second);
    ASSERT_EQ(S_OK, b->SetSite(static_cast<IWebBrowser2*>(other.Get())));
    EXPECT_EQ(agent, ProcessUserAgent()) << "a second window adds nothing";
    other->ReleaseSinks();
}

TEST_F(BhoTest, FirstRunShowsTheBandOnceAndOwnsTheMessageBoxes) {
    theSettings.Load(false);
    theSettings.SetFirstRun(true);
    tt::CTavelleBHO* first = nullptr;
    auto a = Create(&first);
    ASSERT_EQ(S_OK, a->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    ASSERT_EQ(1u, browser->ShowBrowserBarCalls().size());
    const tthost::ShowBrowserBarCall& call = browser->ShowBrowserBarCalls()[0];
    EXPECT_EQ(VT_BSTR, call.clsidType);
    EXPECT_EQ(L"{6B4FBDF9-7735-45BA-924C-3875A4DA8236}", call.clsid);
    EXPECT_EQ(VT_BOOL, call.showType);
    EXPECT_TRUE(call.show);
    EXPECT_FALSE(call.sizeGiven);
    EXPECT_EQ(window.get(), first->DialogOwnerWindow());
    EXPECT_FALSE(theSettings.FirstRun());

    ComPtr<FakeBrowser> other = FakeBrowser::Create(nullptr, window.get());
    tt::CTavelleBHO* second = nullptr;
    auto b = Create(&second);
    ASSERT_EQ(S_OK, b->SetSite(static_cast<IWebBrowser2*>(other.Get())));
    EXPECT_TRUE(other->ShowBrowserBarCalls().empty()) << "the band is shown once per process";
    EXPECT_EQ(nullptr, second->DialogOwnerWindow());
    other->ReleaseSinks();
}

// ---- events and the completion counters

class BhoEventTest : public BhoTest {
protected:
    void SetUp() override {
        BhoTest::SetUp();
        site = Create(&probe);
        ASSERT_EQ(S_OK, site->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    }
    IUnknown* Top() { return Identity(static_cast<IWebBrowser2*>(browser.Get())); }

    ProbeBHO* probe = nullptr;
    tt::com_ptr<IObjectWithSite> site;
};

TEST_F(BhoEventTest, FramesReportWhileTheTopIsBusyTheBusyTopReportsNothing) {
    const std::wstring top = L"http://gw.example/ag.cgi?page=AGIndex";
    browser->SetPage(top, L"<html><head><title>Top</title></head></html>");
    ComPtr<FakeBrowser> frame = browser->AddFrame(L"menu", L"http://gw.example/menu.html", L"<html></html>");
    browser->FireBeforeNavigate2(nullptr, top);
    browser->FireBeforeNavigate2(frame->AsDispatch(), L"http://gw.example/menu.html");
    EXPECT_EQ(2, probe->Tracker().PendingNavigations());

    browser->SetBusy(true);
    browser->FireDocumentComplete(frame->AsDispatch(), L"http://gw.example/menu.html");
    ASSERT_EQ(1u, probe->calls.size());
    EXPECT_EQ(Identity(frame->AsDispatch()), probe->calls[0].browser);
    EXPECT_EQ(u"http://gw.example/menu.html", probe->calls[0].url);
    EXPECT_FALSE(probe->calls[0].afterDownload);
    EXPECT_EQ(1, probe->Tracker().PendingNavigations());

    browser->FireDocumentComplete(nullptr, top);
    EXPECT_EQ(1u, probe->calls.size()) << "the busy top document reports nothing";
    EXPECT_EQ(1, probe->Tracker().PendingNavigations());

    // Downloads now are no reload: the navigation is still pending.
    browser->SetBusy(false);
    browser->FireDownloadBegin();
    browser->FireDownloadComplete();
    EXPECT_EQ(1u, probe->calls.size());

    browser->FireDocumentComplete(nullptr, top);
    ASSERT_EQ(2u, probe->calls.size());
    EXPECT_EQ(Top(), probe->calls[1].browser);
    EXPECT_EQ(u"http://gw.example/ag.cgi?page=AGIndex", probe->calls[1].url);
    EXPECT_EQ(0, probe->Tracker().PendingNavigations());
}

TEST_F(BhoEventTest, ReloadReportsOnceWithTheCurrentAddress) {
    tthost::LocalHttpServer server;
    ASSERT_TRUE(server.Started());
    server.Page("/ag.cgi", "text/html", "<html><head><title>Top</title></head><body>x</body></html>");
    const std::wstring url = server.Url(L"/ag.cgi?page=AGIndex");
    browser->UserNavigate(url);
    ASSERT_TRUE(browser->RunUntilIdle());
    ASSERT_EQ(1u, probe->calls.size()) << "a navigation reports its page once";
    EXPECT_EQ(0, probe->Tracker().PendingNavigations());

    browser->Reload();
    ASSERT_TRUE(browser->RunUntilIdle());
    ASSERT_EQ(2u, probe->calls.size());
    EXPECT_TRUE(probe->calls[1].afterDownload);
    EXPECT_EQ(tt::FromWide(url.c_str()), probe->calls[1].url);
    EXPECT_EQ(Top(), probe->calls[1].browser);
}

TEST_F(BhoEventTest, UnknownEventsAndMismatchedArgumentsDoNothing) {
    tt::com_ptr<IDispatch> sink = site.query<IDispatch>();
    ASSERT_TRUE(sink);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(S_OK, sink->Invoke(102, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
    // DocumentComplete without its two parameters reaches no handler.
    EXPECT_EQ(S_OK, sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                                 nullptr, nullptr));
    EXPECT_EQ(S_OK, sink->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr,
                                 nullptr, nullptr));
    EXPECT_TRUE(probe->calls.empty());
    EXPECT_EQ(0, probe->Tracker().PendingNavigations());
}

// PreInvoke decides first: a result it hands back (or a fault in it) ends the call.
class GatedBHO final : public tt::CTavelleBHO {
public:
    HRESULT answer = S_OK;
    bool handle = false;
    bool fault = false;
    int navigations = 0;
    HRESULT PreInvoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*,
                      bool* handled) override {
        if (fault) tt::RaiseFault(tt::kFaultOutOfMemory);
        *handled = handle;
        return answer;
    }
    void OnBeforeNavigate2(IDispatch* pDisp) override {
        ++navigations;
        tt::CTavelleBHO::OnBeforeNavigate2(pDisp);
    }
};

TEST_F(BhoTest, PreInvokeCanTakeOverAndAFaultInInvokeIsAnAbort) {
    GatedBHO* gated = nullptr;
    auto site = Create(&gated);
    ASSERT_EQ(S_OK, site->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    const std::wstring url = L"http://gw.example/ag.cgi";

    tt::com_ptr<IDispatch> sink = site.query<IDispatch>();
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    gated->handle = true;
    gated->answer = S_FALSE;
    EXPECT_EQ(S_FALSE, sink->Invoke(DISPID_DOWNLOADBEGIN, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                                    nullptr, nullptr));
    EXPECT_EQ(0, gated->Tracker().ActiveDownloads()) << "a handled call reaches no handler";
    gated->handle = false;
    gated->answer = E_NOTIMPL;
    EXPECT_EQ(E_NOTIMPL, browser->FireBeforeNavigate2(nullptr, url));
    EXPECT_EQ(0, gated->navigations);

    gated->answer = S_OK;
    EXPECT_EQ(S_OK, browser->FireBeforeNavigate2(nullptr, url));
    EXPECT_EQ(1, gated->navigations);

    tthost::DebugOutputCapture debug;
    gated->fault = true;
    EXPECT_EQ(E_ABORT, browser->FireBeforeNavigate2(nullptr, url));
    EXPECT_TRUE(debug.Contains(u"Exception code: c0000017\n"));
    EXPECT_EQ(1, gated->navigations);
}

// ---- page-complete handling in full

class BhoPageTest : public BhoTest {
protected:
    void Attach() {
        site = Create(&bho);
        ASSERT_EQ(S_OK, site->SetSite(static_cast<IWebBrowser2*>(browser.Get())));
    }
    void Open(const std::wstring& url) {
        browser->UserNavigate(url);
        ASSERT_TRUE(browser->RunUntilIdle());
    }

    tthost::LocalHttpServer server;
    tt::CTavelleBHO* bho = nullptr;
    tt::com_ptr<IObjectWithSite> site;
};

TEST_F(BhoPageTest, ServerPagesRecordTheLoginOnlyUnderTheExactServerUrl) {
    ASSERT_TRUE(server.Started());
    server.Page("/cgi-bin/ag.cgi", "text/html",
                "<html><head><title>AGIndex - Tavelle(R) Office</title></head></html>",
                {{"Set-Cookie", "AGSESSID=abc; path=/"}});
    const std::wstring base = server.Url(L"/cgi-bin/ag.cgi");
    StoreSettings(tt::FromWide(base.c_str()));
    Attach();

    // The same address with its scheme in capitals is not the server's.
    std::wstring shouted = L"HTTP" + base.substr(4) + L"?page=AGIndex";
    Open(shouted);
    EXPECT_FALSE(tt::theProcessState.LoginSeen(tt::theSettings.GetServerUrl()));

    Open(base + L"?page=AGIndex");
    EXPECT_TRUE(tt::theProcessState.LoginSeen(tt::theSettings.GetServerUrl()));
    EXPECT_EQ(u"AGSESSID=abc", tt::theProcessState.GroupwareCookie(tt::theSettings.GetServerUrl()));
}

TEST_F(BhoPageTest, GroupwarePageOffersToStoreItsBaseUrl) {
    ASSERT_TRUE(server.Started());
    server.Page("/cgi-bin/ag.cgi", "text/html",
                "<html><head><title>AGIndex - Tavelle(R) Office</title></head></html>");
    const std::wstring base = server.Url(L"/cgi-bin/ag.cgi");
    Attach();

    {
        tthost::MessageBoxAnswerer boxes({IDNO});
        Open(server.Url(L"/cgi-bin/ag.cgi?page=AGIndex"));
        ASSERT_EQ(1u, boxes.Count());
        tthost::SeenMessageBox box = boxes.Seen()[0];
        EXPECT_EQ(L"Tavelle(R) ツールバー", box.caption);
        EXPECT_EQ(
            L"Tavelleツールバーに「Tavelle Office 7」のURLが設定されていません。\n"
            L"現在表示している「Tavelle Office 7」のURLを設定しますか?",
            box.text);
        EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
        EXPECT_EQ(u"Yes", theSettings.Get(u"DisableAutoSetting"));

        // Declined: further groupware pages ask nothing.
        Open(server.Url(L"/cgi-bin/ag.cgi?page=ToDoIndex"));
        EXPECT_EQ(1u, boxes.Count());
    }

    // Armed again: Yes stores the base URL exactly; No to the second question opens nothing.
    browser->FireOnQuit();
    StoreSettings(u"", u"No", u"", u"No");
    Attach();
    tthost::MessageBoxAnswerer boxes({IDYES, IDNO});
    Open(server.Url(L"/cgi-bin/ag.cgi?page=AGIndex&x=1"));
    ASSERT_EQ(2u, boxes.Count());
    EXPECT_EQ(
        L"ツールバーに「Tavelle Office 7」のURLが設定されました。\n"
        L"引き続き、自動ログインなどの設定を変更しますか?",
        boxes.Seen()[1].text);
    EXPECT_EQ(tt::FromWide(base.c_str()), theSettings.GetServerUrl());
    theSettings.Load(true);
    EXPECT_EQ(tt::FromWide(base.c_str()), theSettings.GetServerUrl()) << "stored in the registry";
}

TEST_F(BhoPageTest, PagesThatAreNoGroupwarePagesOfferNothing) {
    ASSERT_TRUE(server.Started());
    server.Page("/index.html", "text/html", "<html><head><title>Other</title></head></html>");
    Attach();
    tthost::MessageBoxAnswerer boxes({IDNO});
    Open(server.Url(L"/index.html"));
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(u"", theSettings.Get(u"DisableAutoSetting"));
}

}  // namespace
