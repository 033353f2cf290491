// The permission file and the list pages over the wire, against the stand-in groupware.
#include <gtest/gtest.h>

#include "fakes/clock.h"
#include "fakes/fresh_state.h"
#include "net/http_client_win.h"
#include "net/permission.h"
#include "net/server_check.h"
#include "net/standin_server_win.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"

namespace tt {
namespace {

using testing::JsonString;
using testing::ParseRawRequest;
using testing::StandinServer;

// The permission file lives on the scheme's default port. This client stands for the network
// between: requests to port 80 of the loopback host reach the stand-in's port instead, and it
// records what was asked for.
class LoopbackRouter : public IHttpClient {
public:
    explicit LoopbackRouter(StandinServer& server) : server_(server) {}
    std::u16string Request(const std::u16string& url, const std::u16string& verb,
                           const std::u16string& headers, const std::u16string& body) override {
        asked.push_back(url);
        std::u16string routed = url;
        const std::u16string host = u"http://127.0.0.1/";
        if (routed.compare(0, host.size(), host) == 0) routed = server_.Url(routed.substr(host.size() - 1));
        return inner_.Request(routed, verb, headers, body);
    }
    std::vector<std::u16string> asked;

private:
    StandinServer& server_;
    CWinInetHttpClient inner_;
};

class ServerRequestsWire : public testing::FreshStateTest<> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        ASSERT_NE(server.Port(), 0u) << "the stand-in server did not start";
        ASSERT_TRUE(server.Reset());
    }

    StandinServer& server = StandinServer::Get();
};

TEST_F(ServerRequestsWire, PermissionFileInShiftJisWithCrLfLines) {
    LoopbackRouter router(server);
    theSettings.Set(u"TavelleUrl", u"http://127.0.0.1:8080/cgi-bin/ag.cgi");
    ASSERT_TRUE(
        server.Control("{\"charset\": \"Shift_JIS\", \"toolbar_txt\": "
                       "\"# ツールバーの設定\\r\\nAllowToolbar=No\\r\\nAllowAutoLogin=yes\\r\\n\"}"));
    CheckToolbarPermission(router, false);
    ASSERT_EQ(router.asked, std::vector<std::u16string>{u"http://127.0.0.1/tv70/toolbar.txt"});
    EXPECT_EQ(ParseRawRequest(server.LastRequest()).requestLine, "GET /tv70/toolbar.txt HTTP/1.1");
    EXPECT_FALSE(theProcessState.AllowToolbar());
    EXPECT_TRUE(theProcessState.AllowAutoLogin());
    EXPECT_EQ(theSettings.Get(u"AllowToolbar"), u"No");
    EXPECT_EQ(theSettings.Get(u"AllowAutoLogin"), u"Yes");
}

TEST_F(ServerRequestsWire, PermissionFileMissingKeepsTheFlags) {
    LoopbackRouter router(server);
    theSettings.Set(u"TavelleUrl", u"http://127.0.0.1/ag.exe");
    theSettings.Set(u"AllowToolbar", u"No");
    theProcessState.SetAllowToolbar(false);
    CheckToolbarPermission(router, true);  // the stand-in answers 404
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_FALSE(theProcessState.AllowToolbar());
    EXPECT_EQ(theSettings.Get(u"AllowToolbar"), u"No");
}

TEST_F(ServerRequestsWire, CutShortOrHugeAnswersLeaveTheFlagsAndTheDisplays) {
    // The administrator forbade automatic log-in; the next answer of the file is cut off before
    // that line (how long failing answers may take: http_client_win_test.cpp).
    LoopbackRouter router(server);
    theSettings.Set(u"TavelleUrl", u"http://127.0.0.1/ag.exe");
    theSettings.Set(u"AllowAutoLogin", u"No");
    theProcessState.SetAllowAutoLogin(false);
    ASSERT_TRUE(
        server.Control("{\"routes\": {\"/tv70/toolbar.txt\": {\"body\": \"AllowToolbar=yes\\n\", "
                       "\"content_length\": 35}}}"));
    CheckToolbarPermission(router, true);
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_FALSE(theProcessState.AllowAutoLogin());
    EXPECT_EQ(theSettings.Get(u"AllowAutoLogin"), u"No");

    // Four megabytes of commas for the digest: no answer of ours, and the menu stays as it was.
    ASSERT_TRUE(server.Control("{\"routes\": {\"/cgi-bin/ag.cgi\": {\"body\": \",\", \"size\": 4194304}}}"));
    theSettings.Set(u"TavelleUrl", server.Url(u"/cgi-bin/ag.cgi"));
    theProcessState.SetGroupwareCookie(theSettings.GetServerUrl(), u"AGSESSID=abc");
    std::vector<ServerRecord> records{{u"header"}, {u"A", u"?page=X", u"kept"}};
    CWinInetHttpClient http;
    EXPECT_FALSE(RefreshDigestRecords(http, true, records).has_value());
    EXPECT_EQ(records.size(), 2u);
}

TEST_F(ServerRequestsWire, AutomaticLogInPollsTheDigestAsAnAnsiPost) {
    ASSERT_TRUE(
        server.Control("{\"accounts\": {\"山田\": \"p&w=1\"}, \"charset\": \"EUC-JP\", "
                       "\"digest\": [[\"ヘッダ\"], [\"新着\", \"?page=BulletinView&id=1\", \"お知らせ\"]]}"));
    theSettings.Set(u"TavelleUrl", server.Url(u"/cgi-bin/ag.cgi"));
    theSettings.Set(u"AutoLogin", u"Yes");
    theSettings.Set(u"Username", u"山田");
    StoreProtectedValue(u"UserPassword", u"p&w=1", u"");
    CWinInetHttpClient http;
    std::vector<ServerRecord> records;
    ASSERT_EQ(RefreshDigestRecords(http, true, records), std::optional<bool>(true));
    EXPECT_EQ(records,
              (std::vector<ServerRecord>{{u"ヘッダ"}, {u"新着", u"?page=BulletinView&id=1", u"お知らせ"}}));

    const auto request = ParseRawRequest(server.LastRequest());
    EXPECT_EQ(request.requestLine, "POST /cgi-bin/ag.cgi?page=RMDigest HTTP/1.1");
    EXPECT_NE(request.head.find("Pragma: no-cache\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    EXPECT_EQ(request.head.find("Cookie"), std::string::npos);
    EXPECT_EQ(request.body,
              "_System=login&_Login=1&_Account=\x8e\x52\x93\x63&Password=p%26w%3D1&_notimecard=1");
}

TEST_F(ServerRequestsWire, TheGroupwareCookieFetchesTheScheduleWithoutLoggingIn) {
    ASSERT_TRUE(
        server.Control("{\"charset\": \"UTF-8\", \"schedule\": [[\"9\", \"05\", \"朝会\"], "
                       "[\"23\", \"59\", \"深夜\"]]}"));
    // Log in as the browser would, and keep the session cookie the server hands out.
    const auto login = server.Send(u"POST", u"/ag.cgi?page=AGIndex",
                                   "_System=login&_Login=1&_Account=taro&Password=secret&page=AGIndex");
    ASSERT_EQ(login.status, 200u);
    const std::string session = login.setCookie.substr(0, login.setCookie.find(';'));
    ASSERT_EQ(session.rfind("AGSESSID=", 0), 0u) << login.setCookie;

    theSettings.Set(u"TavelleUrl", server.Url(u"/ag.cgi"));
    theSettings.Set(u"AutoLogin", u"Yes");  // the cookie wins: no log-in post
    theSettings.Set(u"Username", u"taro");
    theProcessState.SetGroupwareCookie(theSettings.GetServerUrl(),
                                       std::u16string(session.begin(), session.end()));
    testing::FakeClock clock{{2024, 5, 17, 9, 6, 0}};
    CWinInetHttpClient http;
    EXPECT_EQ(RefreshNextAppointmentCaption(http, true, clock), std::optional<std::u16string>(u"23:59 深夜"));
    auto request = ParseRawRequest(server.LastRequest());
    EXPECT_EQ(request.requestLine, "GET /ag.cgi?page=RMMySchedule HTTP/1.1");
    EXPECT_NE(request.head.find("\r\nCookie: " + session + "\r\n"), std::string::npos) << request.head;
    EXPECT_EQ(request.body, "");

    // A session the server does not know gets the log-in page: an empty caption.
    theProcessState.SetGroupwareCookie(theSettings.GetServerUrl(), u"AGSESSID=forged");
    EXPECT_EQ(RefreshNextAppointmentCaption(http, true, clock), std::optional<std::u16string>(u""));
}

}  // namespace
}  // namespace tt
