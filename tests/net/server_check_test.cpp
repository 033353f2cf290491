// The periodic server check: what is asked of the server, and what the displays become.
#include <gtest/gtest.h>

#include "fakes/clock.h"
#include "fakes/fresh_state.h"
#include "fakes/http_client.h"
#include "net/server_check.h"
#include "net/text_fields.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"

namespace tt {
namespace {

using testing::FakeHttpClient;

constexpr char16_t kBase[] = u"http://gw.example/cgi-bin/ag.cgi";
constexpr char16_t kDigestUrl[] = u"http://gw.example/cgi-bin/ag.cgi?page=RMDigest";
constexpr char16_t kScheduleUrl[] = u"http://gw.example/cgi-bin/ag.cgi?page=RMMySchedule";
constexpr char16_t kPlainHeaders[] = u"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n";

class ServerCheck : public testing::FreshStateTest<> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        theSettings.Set(u"TavelleUrl", kBase);
    }
    void SetUpAutoLogin(const std::u16string& user, const std::u16string& password) {
        theSettings.Set(u"AutoLogin", u"Yes");
        theSettings.Set(u"Username", user);
        StoreProtectedValue(u"UserPassword", password, u"");
    }

    FakeHttpClient http;
    testing::FakeClock clock{{2024, 5, 17, 9, 5, 0}};
};

TEST_F(ServerCheck, WithTheGroupwareCookieAPlainGetCarriesIt) {
    theProcessState.SetGroupwareCookie(kBase, u"AGSESSID=abc; lang=ja");
    SetUpAutoLogin(u"taro", u"secret");  // the cookie wins over the log-in
    http.Answer(kDigestUrl, u"head\n");
    EXPECT_EQ(FetchServerPage(http, kDigestPageString), u"head\n");
    ASSERT_EQ(http.RequestCount(), 1u);
    const auto r = http.Requests()[0];
    EXPECT_EQ(r.url, kDigestUrl);
    EXPECT_EQ(r.verb, u"GET");
    EXPECT_EQ(r.headers, std::u16string(kPlainHeaders) + u"Cookie: AGSESSID=abc; lang=ja\n");
    EXPECT_EQ(r.body, u"");
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));  // neither read nor set here
}

TEST_F(ServerCheck, WithoutACookieAutomaticLogInPostsTheLogInBody) {
    SetUpAutoLogin(u"山田", u"p&w=1+2%");
    FetchServerPage(http, kSchedulePageString);
    ASSERT_EQ(http.RequestCount(), 1u);
    const auto r = http.Requests()[0];
    EXPECT_EQ(r.url, kScheduleUrl);
    EXPECT_EQ(r.verb, u"POST");
    EXPECT_EQ(r.headers, kPlainHeaders);
    EXPECT_EQ(r.body, u"_System=login&_Login=1&_Account=山田&Password=p%26w%3D1%2B2%25&_notimecard=1");
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));
}

TEST_F(ServerCheck, NoCookieAndNoUsableLogInSendsNothing) {
    EXPECT_EQ(FetchServerPage(http, kDigestPageString), u"");  // automatic log-in off
    SetUpAutoLogin(u"", u"secret");                            // no user name
    EXPECT_EQ(FetchServerPage(http, kDigestPageString), u"");
    SetUpAutoLogin(u"taro", u"secret");
    theProcessState.SetAllowAutoLogin(false);  // the server forbids it
    EXPECT_EQ(FetchServerPage(http, kDigestPageString), u"");
    theSettings.Set(u"AutoLogin", u"yes");  // only "Yes" is yes
    theProcessState.SetAllowAutoLogin(true);
    EXPECT_EQ(FetchServerPage(http, kDigestPageString), u"");
    theProcessState.SetGroupwareCookie(kBase, u"a=b");
    theSettings.Set(u"TavelleUrl", u"");  // no server at all
    EXPECT_EQ(FetchServerPage(http, kDigestPageString), u"");
    EXPECT_EQ(http.RequestCount(), 0u);
}

TEST_F(ServerCheck, AnotherServerGetsNeitherTheSessionNorTheListsOfTheFirst) {
    theProcessState.SetGroupwareCookie(kBase, u"AGSESSID=a");
    theProcessState.SetDigestCache(kBase, u"h\nA,?page=X,T\n");
    SetUpAutoLogin(u"taro", u"secret");
    theSettings.Set(u"TavelleUrl", u"http://other.example/ag.exe");
    std::vector<ServerRecord> records;
    // Not shown from the first server's list: asked of the new one, with a log-in, not the cookie.
    EXPECT_EQ(RefreshDigestRecords(http, false, records), std::nullopt);
    ASSERT_EQ(http.RequestCount(), 1u);
    EXPECT_EQ(http.Requests()[0].url, u"http://other.example/ag.exe?page=RMDigest");
    EXPECT_EQ(http.Requests()[0].headers, kPlainHeaders);
    EXPECT_EQ(http.Requests()[0].verb, u"POST");
}

TEST_F(ServerCheck, ALineBreakInTheCookieCannotAddAHeader) {
    theProcessState.SetGroupwareCookie(kBase, u"a=b\r\nX-Evil: 1");
    FetchServerPage(http, kDigestPageString);
    ASSERT_EQ(http.RequestCount(), 1u);
    EXPECT_EQ(http.Requests()[0].headers, std::u16string(kPlainHeaders) + u"Cookie: a=bX-Evil: 1\n");
}

TEST_F(ServerCheck, DigestInTheWindowInUseFetchesAndTellsWhetherThereIsNews) {
    theProcessState.SetGroupwareCookie(kBase, u"s=1");
    http.Answer(kDigestUrl, u"head\r\nA,?page=X,Title\r\nNOERROR\r\nB,?page=Y,Other\r\n");
    std::vector<ServerRecord> records;
    EXPECT_EQ(RefreshDigestRecords(http, true, records), std::optional<bool>(true));
    EXPECT_EQ(records, (std::vector<ServerRecord>{{u"head"}, {u"A", u"?page=X", u"Title"}}));
    EXPECT_EQ(*theProcessState.DigestCache(kBase),
              u"head\r\nA,?page=X,Title\r\nNOERROR\r\nB,?page=Y,Other\r\n");

    http.Answer(kDigestUrl, u"head only\r\n");
    EXPECT_EQ(RefreshDigestRecords(http, true, records), std::optional<bool>(false));
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(http.RequestCount(), 2u);

    // The log-in page after the session ended: no records, no news.
    http.Answer(kDigestUrl, u"<html><title>ログイン - Tavelle(R) Office</title></html>");
    EXPECT_EQ(RefreshDigestRecords(http, true, records), std::optional<bool>(false));
    EXPECT_TRUE(records.empty());
}

TEST_F(ServerCheck, OtherWindowsRedrawFromTheProcesssLastAnswer) {
    theProcessState.SetGroupwareCookie(kBase, u"s=1");
    http.Answer(kDigestUrl, u"h\nA,?page=X,T\n");
    std::vector<ServerRecord> active;
    std::vector<ServerRecord> other;
    ASSERT_TRUE(RefreshDigestRecords(http, true, active).value());
    http.Answer(kDigestUrl, u"h\n");
    EXPECT_EQ(RefreshDigestRecords(http, false, other), std::optional<bool>(true));
    EXPECT_EQ(other, active);
    EXPECT_EQ(http.RequestCount(), 1u);

    // An inactive window fetches only while the process holds no answer.
    theProcessState.SetDigestCache(kBase, u"");
    EXPECT_EQ(RefreshDigestRecords(http, false, other), std::optional<bool>(false));
    EXPECT_EQ(http.RequestCount(), 2u);
}

TEST_F(ServerCheck, NoAnswerOrNoPermissionLeavesTheDisplayAsItWas) {
    std::vector<ServerRecord> records{{u"h"}, {u"A", u"?page=X", u"T"}};
    const auto before = records;
    // No cookie and no automatic log-in: no request, no change.
    EXPECT_EQ(RefreshDigestRecords(http, true, records), std::nullopt);
    EXPECT_EQ(RefreshNextAppointmentCaption(http, true, clock), std::nullopt);
    EXPECT_EQ(http.RequestCount(), 0u);
    EXPECT_EQ(records, before);

    // A failed request empties the process's answer, so the next refresh asks again.
    theProcessState.SetGroupwareCookie(kBase, u"s=1");
    theProcessState.SetDigestCache(kBase, u"h\nold,?page=Z,Old\n");
    EXPECT_EQ(RefreshDigestRecords(http, true, records), std::nullopt);
    EXPECT_EQ(*theProcessState.DigestCache(kBase), u"");
    EXPECT_EQ(records, before);

    // The toolbar is not permitted: nothing is asked and nothing changes, cache or not.
    theProcessState.SetAllowToolbar(false);
    theProcessState.SetDigestCache(kBase, u"h\nA,?page=X,T\n");
    theProcessState.SetScheduleCache(kBase, u"23,59,Late\n");
    EXPECT_EQ(RefreshDigestRecords(http, true, records), std::nullopt);
    EXPECT_EQ(RefreshNextAppointmentCaption(http, true, clock), std::nullopt);
    EXPECT_EQ(http.RequestCount(), 1u);
}

TEST_F(ServerCheck, NextAppointmentFollowsTheClock) {
    theProcessState.SetGroupwareCookie(kBase, u"s=1");
    http.Answer(kScheduleUrl, u"9,05,Meeting\r\n13,00,Review\r\nNOERROR\r\n");
    clock.now.hour = 9;
    clock.now.minute = 5;
    EXPECT_EQ(RefreshNextAppointmentCaption(http, true, clock),
              std::optional<std::u16string>(u"9:05 Meeting"));
    clock.now.minute = 6;
    EXPECT_EQ(RefreshNextAppointmentCaption(http, false, clock),
              std::optional<std::u16string>(u"13:00 Review"));
    clock.now.hour = 18;
    EXPECT_EQ(RefreshNextAppointmentCaption(http, false, clock), std::optional<std::u16string>(u""));
    EXPECT_EQ(http.RequestCount(), 1u);  // the later two read the process's answer

    // The log-in page instead of the list: an empty caption (the button is disabled).
    http.Answer(kScheduleUrl, u"<html></html>");
    EXPECT_EQ(RefreshNextAppointmentCaption(http, true, clock), std::optional<std::u16string>(u""));
}

TEST_F(ServerCheck, HostileListPagesKeepOnlyWhatTheDisplaysShow) {
    theProcessState.SetGroupwareCookie(kBase, u"AGSESSID=abc");
    // A megabyte of commas is one record of three empty fields, not a million fields.
    http.Answer(kDigestUrl, std::u16string(1 << 20, u','));
    std::vector<ServerRecord> records;
    EXPECT_EQ(RefreshDigestRecords(http, true, records), std::optional<bool>(false));
    EXPECT_EQ(records, (std::vector<ServerRecord>{{u"", u"", u""}}));

    // Many long records: the header and the eight entries the menu shows, and a ninth that
    // makes its "..."; fields cut to the longest address a browser opens.
    std::u16string many;
    for (int i = 0; i < 20; ++i)
        many += u"L,?page=X&id=" + std::u16string(3000, u'9') + u",T,more,fields\r\n";
    http.Answer(kDigestUrl, many);
    EXPECT_EQ(RefreshDigestRecords(http, true, records), std::optional<bool>(true));
    ASSERT_EQ(records.size(), 9u);
    EXPECT_EQ(records[8].size(), 3u);
    EXPECT_EQ(records[8][1].size(), kMaxFieldChars);

    // Every appointment of a long day is still looked at; the caption is cut for the button.
    std::u16string day;
    for (int i = 0; i < 50000; ++i) day += u"8,00,early\n";
    day += u"9,30," + std::u16string(5000, u'会') + u"\nNOERROR\n";
    http.Answer(kScheduleUrl, day);
    const std::optional<std::u16string> caption = RefreshNextAppointmentCaption(http, true, clock);
    ASSERT_TRUE(caption.has_value());
    EXPECT_EQ(caption->size(), kMaxShownChars);
    EXPECT_EQ(caption->substr(0, 6), u"9:30 会");
    EXPECT_EQ(caption->back(), u'\u2026');
}

}  // namespace
}  // namespace tt
