// The automatic log-in end to end: the test browser shows the stand-in groupware server's real
// log-in page, the helper object fills it with the stored name and the DPAPI-protected
// password, the form goes to the server once, and the page that follows records the log-in
// and the server's session cookie. Runs when scripts/tests.d/browser_login.sh has started the
// stand-in server (TT_STANDIN_PORT); skipped otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "browser/tavelle_bho_win.h"
#include "fakes/fresh_state.h"
#include "host/host_session_win.h"
#include "host/host_test_support_win.h"
#include "host/message_box_answerer_win.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"
#include "support/com_ptr_win.h"

namespace {

using tthost::ComPtr;
using tthost::FakeBrowser;

std::string Base64(const std::string& bytes) {
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out += table[(v >> s) & 63];
    }
    if (i < bytes.size()) {
        unsigned v = uint8_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= uint8_t(bytes[i + 1]) << 8;
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? table[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class EndToEndLogin : public tt::testing::FreshStateTest<tthost::ComTest> {
protected:
    void SetUp() override {
        const char* port = std::getenv("TT_STANDIN_PORT");
        if (!port || !*port)
            GTEST_SKIP() << "the stand-in server is not running (scripts/tests.d/browser_login.sh)";
        FreshStateTest::SetUp();
        port_.assign(port, port + std::strlen(port));
        root_ = L"http://127.0.0.1:" + port_;
        base_ = root_ + L"/cgi-bin/ag.cgi";
        ASSERT_EQ(200u, Control(L"/__reset", "").status);

        tt::theSettings.Load(false);
        tt::theSettings.Set(u"TavelleUrl", tt::FromWide(base_.c_str()));
        tt::theSettings.Set(u"AutoLogin", u"Yes");
        tt::theSettings.Set(u"Username", u"taro");
        tt::theSettings.Save(true);
        tt::StoreProtectedValue(u"UserPassword", u"secret", u"UserPassword");

        window_.reset(
            CreateWindowW(L"STATIC", L"browser", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
        browser_ = FakeBrowser::Create(nullptr, window_.get());
        ASSERT_EQ(S_OK, tt::CreateTavelleBHO(nullptr, IID_IObjectWithSite, bho_.put_void()));
        ASSERT_EQ(S_OK, bho_->SetSite(static_cast<IWebBrowser2*>(browser_.Get())));
    }
    void TearDown() override {
        if (!browser_) return;
        browser_->FireOnQuit();
        bho_.reset();
        browser_.Reset();
        FreshStateTest::TearDown();
    }

    tthost::HttpAnswer Control(const std::wstring& path, const std::string& json) {
        return control_.Fetch(L"POST", root_ + path, L"Content-Type: application/json\r\n",
                              std::vector<uint8_t>(json.begin(), json.end()));
    }
    std::string ServerLog() {
        tthost::HttpAnswer answer = control_.Fetch(L"GET", root_ + L"/__log", L"", {});
        return std::string(answer.body.begin(), answer.body.end());
    }
    void Open(const std::wstring& url) {
        browser_->UserNavigate(url);
        ASSERT_TRUE(browser_->RunUntilIdle(20000));
    }

    std::wstring port_, root_, base_;
    tthost::HostSession control_;
    tt::unique_hwnd window_;
    ComPtr<FakeBrowser> browser_;
    tt::com_ptr<IObjectWithSite> bho_;
};

TEST_F(EndToEndLogin, LoginPageIsFilledSubmittedOnceAndTheNextPageRecordsTheSession) {
    Open(base_ + L"?page=AGIndex");

    const std::string log = ServerLog();
    EXPECT_EQ(1u, CountOf(log, "\"method\": \"POST\"")) << log;
    EXPECT_NE(std::string::npos, log.find(Base64("_System=login&_Login=1&_Account=taro&Password=secret")))
        << "the form went with exactly the stored account: " << log;

    EXPECT_TRUE(tt::theProcessState.LoginSeen(tt::theSettings.GetServerUrl()));
    std::u16string cookie = tt::theProcessState.GroupwareCookie(tt::theSettings.GetServerUrl());
    EXPECT_EQ(0u, cookie.find(u"AGSESSID=")) << std::string(cookie.begin(), cookie.end());
    ASSERT_FALSE(browser_->Submissions().empty());
    EXPECT_EQ(L"LoginForm", browser_->Submissions().back().formName);

    // Logged in: the log-in page is not shown again, and nothing more is posted.
    Open(base_ + L"?page=ToDoIndex");
    EXPECT_EQ(1u, CountOf(ServerLog(), "\"method\": \"POST\""));
}

TEST_F(EndToEndLogin, WrongStoredPasswordIsSentOnceOnly) {
    ASSERT_EQ(200u, Control(L"/__control", "{\"accounts\": {\"taro\": \"changed\"}}").status);
    Open(base_ + L"?page=AGIndex");
    // The server answered the failed log-in with the log-in page: it stays on screen.
    Open(base_ + L"?page=AGIndex");

    EXPECT_EQ(1u, CountOf(ServerLog(), "\"method\": \"POST\"")) << "an account must never be locked out";
    EXPECT_EQ(u"", tt::theProcessState.GroupwareCookie(tt::theSettings.GetServerUrl()));
    EXPECT_EQ(L"ログイン - Tavelle(R) Office", browser_->Document() ? browser_->Document()->Title() : L"");
}

// Pages of any host name: the browser's session goes through the stand-in as its proxy.
class EndToEndHostile : public EndToEndLogin {
protected:
    void SetUp() override {
        EndToEndLogin::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        browser_->FireOnQuit();
        bho_.reset();
        auto session = std::make_shared<tthost::HostSession>();
        session->UseProxy(L"127.0.0.1:" + port_);
        browser_ = FakeBrowser::Create(session, window_.get());
        ASSERT_EQ(S_OK, tt::CreateTavelleBHO(nullptr, IID_IObjectWithSite, bho_.put_void()));
        ASSERT_EQ(S_OK, bho_->SetSite(static_cast<IWebBrowser2*>(browser_.Get())));
    }
    std::wstring Title() { return browser_->Document() ? browser_->Document()->Title() : L""; }
};

TEST_F(EndToEndHostile, LookAlikeHostsUserNamesAndPortsGetNeitherThePasswordNorTheSession) {
    tt::theSettings.Set(u"TavelleUrl", u"http://gw");  // as typed into the options: no path
    ASSERT_EQ(200u, Control(L"/__routes",
                            "{\"/welcome\": {\"headers\": [[\"Content-Type\", \"text/html\"], "
                            "[\"Set-Cookie\", \"stolen=1; path=/\"]], \"body\": "
                            "\"<html><head><title>Welcome</title></head></html>\"}}")
                        .status);
    tthost::MessageBoxAnswerer boxes({IDNO});
    for (const wchar_t* site : {L"http://gw.evil.example", L"http://gw@evil.example", L"http://gw:8080"}) {
        Open(std::wstring(site) + L"/cgi-bin/ag.cgi?page=AGIndex");
        EXPECT_EQ(L"ログイン - Tavelle(R) Office", Title()) << "the page was shown: " << site;
        Open(std::wstring(site) + L"/welcome");
        EXPECT_EQ(L"Welcome", Title()) << site;
    }
    EXPECT_TRUE(browser_->Submissions().empty());
    EXPECT_EQ(0u, CountOf(ServerLog(), "\"method\": \"POST\""));
    EXPECT_EQ(u"", tt::theProcessState.GroupwareCookie(tt::theSettings.GetServerUrl()));
    EXPECT_FALSE(tt::theProcessState.LoginSeen(tt::theSettings.GetServerUrl()));
    EXPECT_EQ(0u, boxes.Count());

    // The stored server itself, through the same proxy, is logged in to.
    Open(L"http://gw/cgi-bin/ag.cgi?page=AGIndex");
    const std::string log = ServerLog();
    EXPECT_EQ(1u, CountOf(log, "\"method\": \"POST\""));
    EXPECT_NE(std::string::npos, log.find(Base64("_System=login&_Login=1&_Account=taro&Password=secret")))
        << log;
    EXPECT_EQ(1u, browser_->Submissions().size());
}

TEST_F(EndToEndHostile, AHiddenFrameIsNotOfferedAsTheServer) {
    tt::theSettings.Set(u"TavelleUrl", u"");
    tt::theSettings.Set(u"DisableAutoSetting", u"");
    ASSERT_EQ(200u, Control(L"/__routes",
                            "{\"/news\": {\"headers\": [[\"Content-Type\", \"text/html\"]], "
                            "\"body\": \"<html><head><title>News</title></head><body><iframe "
                            "src='http://attacker.example/cgi-bin/ag.cgi?page=AGIndex' width='0' "
                            "height='0'></iframe></body></html>\"}}")
                        .status);
    tthost::MessageBoxAnswerer boxes({IDYES, IDNO});
    Open(L"http://attacker.example/news");
    ASSERT_EQ(1u, browser_->Frames().size());
    EXPECT_EQ(L"ログイン - Tavelle(R) Office", browser_->Frames()[0]->Document()->Title());
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(u"", tt::theSettings.GetServerUrl());

    // A groupware page shown as the page itself is offered, and Yes stores its base.
    Open(L"http://gw/cgi-bin/ag.cgi?page=AGIndex");
    ASSERT_EQ(2u, boxes.Count());
    EXPECT_EQ(u"http://gw/cgi-bin/ag.cgi", tt::theSettings.GetServerUrl());
}

}  // namespace
