#include "fakes/fresh_state.h"
#include "toolbar/navigator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fakes/navigation.h"
#include "resources/string_table.h"
#include "settings/key_store.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"
#include "support/utf.h"

namespace tt {
namespace {

using testing::FakeBrowser;
using testing::FakeKeys;
using testing::FakePrompts;
using testing::PostedBytes;

const std::u16string kBase = u"http://gw.example/cgi-bin/ag.cgi";
const std::u16string kPragma = u"Pragma: no-cache\n";
const std::u16string kPragmaForm = u"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n";

class NavigatorTest : public testing::FreshStateTest<> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        theSettings.Set(u"TavelleUrl", kBase);
        theSettings.Set(u"Username", u"taro");
        theSettings.Set(u"AutoLogin", u"Yes");
        theSettings.SetTabsAvailable(true);
        StoreProtectedValue(u"UserPassword", u"secret", u"");
        navigator.browser = &browser;
        navigator.ownerWindow = 0x1234;
    }

    FakeBrowser browser;
    FakeKeys keys;
    FakePrompts prompts;
    CToolbarNavigator navigator{keys, prompts};
};

TEST_F(NavigatorTest, FirstPagePostsTheLogInOnceThenOpensPlainly) {
    navigator.OpenPage(2062, false);
    ASSERT_EQ(browser.navigations.size(), 1u);
    const auto& first = browser.Last();
    EXPECT_EQ(first.url, kBase + u"?page=ToDoIndex");
    EXPECT_EQ(first.flags, kNavNoReadFromCache | kNavNoWriteToCache);
    EXPECT_EQ(first.headers, kPragmaForm);
    EXPECT_TRUE(first.hasPostData);
    EXPECT_EQ(first.postData,
              PostedBytes("_System=login&_Login=1&_Account=taro&Password=secret&page=ToDoIndex"));
    EXPECT_TRUE(theProcessState.LoginSeen(kBase));
    // The cache entry is dropped and the current load stopped before the navigation.
    EXPECT_EQ(browser.events,
              (std::vector<std::string>{"drop http://gw.example/cgi-bin/ag.cgi?page=ToDoIndex", "stop",
                                        "navigate"}));

    navigator.OpenPage(2061, false);
    ASSERT_EQ(browser.navigations.size(), 2u);
    EXPECT_EQ(browser.Last().url, kBase + u"?page=ScheduleUserMonth");
    EXPECT_FALSE(browser.Last().hasPostData);
    EXPECT_EQ(browser.Last().headers, kPragma);
    EXPECT_EQ(browser.Last().flags, 12);
}

TEST_F(NavigatorTest, LogInBodyLeavesTheFragmentOut) {
    navigator.NavigateToUrl(kBase + u"?page=X#top", false);
    EXPECT_EQ(browser.Last().url, kBase + u"?page=X#top");
    EXPECT_EQ(browser.Last().PostText(),
              std::string("_System=login&_Login=1&_Account=taro&Password=secret&page=X") + '\0');
}

TEST_F(NavigatorTest, CtrlWithACookieOpensANewTabCarryingTheCookie) {
    theProcessState.SetGroupwareCookie(kBase, u"sid=abc; lang=ja");
    keys.ctrl = true;
    navigator.OpenPage(2062, false);
    const auto& call = browser.Last();
    EXPECT_EQ(call.flags, kNavOpenInNewTab);
    EXPECT_EQ(call.headers, kPragmaForm + u"Cookie: sid=abc; lang=ja\n");
    EXPECT_FALSE(call.hasPostData);
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));

    // Without tabs the same click opens a new window.
    theSettings.SetTabsAvailable(false);
    navigator.OpenPage(2062, false);
    EXPECT_EQ(browser.Last().flags, kNavOpenInNewWindow);
}

TEST_F(NavigatorTest, CtrlWithoutACookieStillPostsTheLogInIntoTheNewTab) {
    keys.ctrl = true;
    navigator.OpenPage(2062, false);
    const auto& call = browser.Last();
    EXPECT_EQ(call.flags, kNavOpenInNewTab);
    EXPECT_EQ(call.headers, kPragmaForm);
    EXPECT_EQ(call.postData,
              PostedBytes("_System=login&_Login=1&_Account=taro&Password=secret&page=ToDoIndex"));
    // The current tab has not logged in, so the next plain click still does.
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));
    keys.ctrl = false;
    navigator.OpenPage(2062, false);
    EXPECT_TRUE(browser.Last().hasPostData);
    EXPECT_TRUE(theProcessState.LoginSeen(kBase));
}

TEST_F(NavigatorTest, NewTabCarriesTheCookieInsteadOfTheLogIn) {
    navigator.OpenPage(2056, true);
    EXPECT_EQ(browser.Last().flags, kNavOpenInNewTab);
    EXPECT_EQ(browser.Last().headers, kPragma);
    EXPECT_FALSE(browser.Last().hasPostData);
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));

    theProcessState.SetGroupwareCookie(kBase, u"sid=1");
    navigator.OpenPage(2056, true);
    EXPECT_EQ(browser.Last().headers, kPragma + u"Cookie: sid=1\n");
    EXPECT_FALSE(browser.Last().hasPostData);
    // A page's cookie text cannot add header lines of its own; nothing left of it, no header.
    theProcessState.SetGroupwareCookie(kBase, u"sid=1\r\nReferer: http://evil/\n");
    navigator.OpenPage(2056, true);
    EXPECT_EQ(browser.Last().headers, kPragma + u"Cookie: sid=1Referer: http://evil/\n");
    theProcessState.SetGroupwareCookie(kBase, u"\r\n");
    navigator.OpenPage(2056, true);
    EXPECT_EQ(browser.Last().headers, kPragma);
    theProcessState.SetGroupwareCookie(kBase, u"sid=1");

    // Without automatic log-in a new tab carries the cookie as well.
    theSettings.Set(u"AutoLogin", u"No");
    navigator.OpenPage(2056, true);
    EXPECT_EQ(browser.Last().headers, kPragma + u"Cookie: sid=1\n");
    // ... but the current tab does not.
    navigator.OpenPage(2056, false);
    EXPECT_EQ(browser.Last().headers, kPragma);
    EXPECT_EQ(browser.Last().flags, 12);
}

TEST_F(NavigatorTest, NewTabWithoutTabsOpensANewWindow) {
    theSettings.SetTabsAvailable(false);
    navigator.OpenPage(2050, true);
    EXPECT_EQ(browser.Last().flags, kNavOpenInNewWindow);
    theSettings.SetTabsAvailable(true);
    navigator.OpenPage(2050, true);
    EXPECT_EQ(browser.Last().flags, kNavOpenInNewTab);
}

TEST_F(NavigatorTest, EmptyUserNamePostsOnlyTheQuery) {
    theSettings.Set(u"Username", u"");
    navigator.OpenPage(2062, false);
    EXPECT_EQ(browser.Last().postData, PostedBytes("&page=ToDoIndex"));
    EXPECT_EQ(browser.Last().headers, kPragmaForm);
    EXPECT_TRUE(theProcessState.LoginSeen(kBase));
}

TEST_F(NavigatorTest, NoLogInWhenItIsOffOrForbiddenOrAlreadySeen) {
    theSettings.Set(u"AutoLogin", u"yes");  // only "Yes" is true
    navigator.OpenPage(2062, false);
    EXPECT_FALSE(browser.Last().hasPostData);

    theSettings.Set(u"AutoLogin", u"Yes");
    theProcessState.SetAllowAutoLogin(false);
    navigator.OpenPage(2062, false);
    EXPECT_FALSE(browser.Last().hasPostData);
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));

    theProcessState.SetAllowAutoLogin(true);
    theProcessState.SetLoginSeen(kBase, true);
    navigator.OpenPage(2062, false);
    EXPECT_FALSE(browser.Last().hasPostData);
    EXPECT_EQ(browser.Last().headers, kPragma);
}

TEST_F(NavigatorTest, LogInCharactersAreEscapedInTheBody) {
    theSettings.Set(u"Username", u"a&b=c");
    StoreProtectedValue(u"UserPassword", u"p+q%r&Password=x", u"");
    navigator.OpenPage(2062, false);
    EXPECT_EQ(browser.Last().PostText(),
              std::string("_System=login&_Login=1&_Account=a%26b%3Dc&Password=p%2Bq%25r%26Password%3Dx"
                          "&page=ToDoIndex") +
                  '\0');
}

TEST_F(NavigatorTest, LongBodiesArePostedWhole) {
    const std::u16string longName(300, u'n');
    theSettings.Set(u"Username", longName);
    StoreProtectedValue(u"UserPassword", u"\u30d1\u30b9", u"");  // non-ASCII: UTF-8 on the wire
    navigator.OpenPage(2062, false);
    const std::vector<uint8_t>& post = browser.Last().postData;
    const std::string expected = "_System=login&_Login=1&_Account=" + std::string(300, 'n') +
                                 "&Password=" + Utf16ToUtf8(u"\u30d1\u30b9") + "&page=ToDoIndex";
    // However the password's bytes are escaped, the body is far beyond 259 bytes and ends
    // with the query and its terminating zero.
    ASSERT_GT(post.size(), 300u);
    EXPECT_EQ(post.back(), 0);
    const std::string text(post.begin(), post.end() - 1);
    EXPECT_EQ(text.substr(0, 32 + 300), expected.substr(0, 32 + 300));
    EXPECT_EQ(text.substr(text.size() - 15), "&page=ToDoIndex");
    EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST_F(NavigatorTest, WebAddressesNeverCarryTheLogInOrTheCookie) {
    theProcessState.SetGroupwareCookie(kBase, u"sid=secret");
    const std::u16string web = LoadResourceString(2067);
    navigator.NavigateToUrl(web, false);
    EXPECT_EQ(browser.Last().url, web);
    EXPECT_EQ(browser.Last().headers, kPragma);
    EXPECT_FALSE(browser.Last().hasPostData);
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));

    keys.ctrl = true;
    navigator.NavigateToUrl(u"http://search.tavelle.example/search/?app=webSearch&query=x", false);
    EXPECT_EQ(browser.Last().headers, kPragma);
    EXPECT_EQ(browser.Last().flags, kNavOpenInNewTab);
    navigator.NavigateToUrl(web, true);
    EXPECT_EQ(browser.Last().headers, kPragma);

    // A host that only begins like the base is not under it.
    keys.ctrl = false;
    navigator.NavigateToUrl(kBase + u"x?page=AGIndex", false);
    EXPECT_FALSE(browser.Last().hasPostData);
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));
}

TEST_F(NavigatorTest, NoBaseUrlAnsweredNoArmsTheDetectionAndOpensNothing) {
    theSettings.Set(u"TavelleUrl", u"");
    prompts.answer = kIdNo;
    navigator.OpenPage(2062, false);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    const auto& box = prompts.boxes[0];
    EXPECT_EQ(box.owner, 0x1234u);
    EXPECT_EQ(box.text, LoadResourceString(533));
    EXPECT_EQ(box.caption, u"Tavelle(R) ツールバー");
    EXPECT_EQ(box.style, kMbYesNo | kMbIconInformation | kMbDefButton2);
    EXPECT_TRUE(prompts.optionsDialogs.empty());
    EXPECT_TRUE(browser.navigations.empty());
    EXPECT_EQ(theSettings.Get(u"DisableAutoSetting"), u"No");
    // ... and the answer is in the registry, not only in memory.
    auto key = DefaultKeyStore().OpenKey(SettingsKeyPath() + u"\\Parameters", KeyAccess::Read);
    ASSERT_NE(key, nullptr);
    std::u16string stored;
    ASSERT_TRUE(QueryString(*key, u"DisableAutoSetting", &stored));
    EXPECT_EQ(stored, u"No");
}

TEST_F(NavigatorTest, NoBaseUrlAnsweredYesOpensThePageEvenWhenRefused) {
    theSettings.Set(u"TavelleUrl", u"");
    theProcessState.SetAllowToolbar(false);
    prompts.answer = kIdYes;
    prompts.onOptionsDialog = [] { theSettings.Set(u"TavelleUrl", kBase); };
    navigator.OpenPage(2061, false);
    EXPECT_EQ(prompts.optionsDialogs, std::vector<std::u16string>{u""});
    ASSERT_EQ(browser.navigations.size(), 1u);
    EXPECT_EQ(browser.Last().url, kBase + u"?page=ScheduleUserMonth");
    EXPECT_EQ(theSettings.Get(u"DisableAutoSetting"), u"");

    // Yes, but the dialog was left without a URL: nothing opens.
    theSettings.Set(u"TavelleUrl", u"");
    prompts.onOptionsDialog = nullptr;
    prompts.optionsResult = 2;
    navigator.OpenPage(2061, false);
    EXPECT_EQ(prompts.optionsDialogs.size(), 2u);
    EXPECT_EQ(browser.navigations.size(), 1u);
}

TEST_F(NavigatorTest, RefusedToolbarShowsTheErrorAndOpensNothing) {
    theProcessState.SetAllowToolbar(false);
    navigator.OpenPage(2050, false);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text, u"TavelleOfficeでツールバーの使用が許可されていません。");
    EXPECT_EQ(prompts.boxes[0].caption, LoadResourceString(500));
    EXPECT_EQ(prompts.boxes[0].style, kMbOk | kMbIconError);
    EXPECT_TRUE(browser.navigations.empty());
    EXPECT_TRUE(browser.events.empty());
    EXPECT_FALSE(theProcessState.LoginSeen(kBase));
}

TEST_F(NavigatorTest, RelativePagesJoinTheBaseWithOneQuestionMark) {
    theProcessState.SetLoginSeen(kBase, true);
    theProcessState.SetAllowToolbar(false);  // not looked at on this path
    navigator.OpenRelativePage(u"page=X", false);
    navigator.OpenRelativePage(u"?page=X", false);
    ASSERT_EQ(browser.navigations.size(), 2u);
    EXPECT_EQ(browser.navigations[0].url, kBase + u"?page=X");
    EXPECT_EQ(browser.navigations[1].url, kBase + u"?page=X");
    EXPECT_TRUE(prompts.boxes.empty());

    // Without a base there is nothing to join the query to.
    theSettings.Set(u"TavelleUrl", u"");
    navigator.OpenRelativePage(u"page=X", false);
    EXPECT_EQ(browser.navigations.size(), 2u);
    EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(NavigatorTest, NothingHappensWithoutABrowser) {
    navigator.browser = nullptr;
    navigator.OpenPage(2050, false);
    EXPECT_TRUE(browser.events.empty());
}

TEST_F(NavigatorTest, NavigateBrowserFlagsAndPostData) {
    // No cache drop: no cache flags, nothing dropped.
    navigator.NavigateBrowser(&browser, u"http://a/", false, false, u"", u"H: 1\n");
    EXPECT_EQ(browser.events, (std::vector<std::string>{"stop", "navigate"}));
    EXPECT_EQ(browser.Last().flags, 0);
    EXPECT_FALSE(browser.Last().hasPostData);
    EXPECT_EQ(browser.Last().headers, u"H: 1\n");
    // New tab replaces the cache bits rather than adding to them.
    navigator.NavigateBrowser(&browser, u"http://a/", true, true, u"x=\u00e9", u"");
    EXPECT_EQ(browser.Last().flags, kNavOpenInNewTab);
    EXPECT_EQ(browser.Last().postData, (std::vector<uint8_t>{'x', '=', 0xC3, 0xA9, 0}));
    keys.ctrl = true;
    theSettings.SetTabsAvailable(false);
    navigator.NavigateBrowser(&browser, u"http://a/", true, false, u"", u"");
    EXPECT_EQ(browser.Last().flags, kNavOpenInNewWindow);
}

TEST(UrlParts, QueryOfUrl) {
    EXPECT_EQ(QueryOfUrl(u"http://h/ag.cgi?page=X"), u"page=X");
    EXPECT_EQ(QueryOfUrl(u"http://h/ag.cgi?page=X#top"), u"page=X");
    EXPECT_EQ(QueryOfUrl(u"http://h/ag.cgi?page=X#a#b"), u"page=X");
    EXPECT_EQ(QueryOfUrl(u"http://h/ag.cgi?a=1?b=2"), u"a=1?b=2");
    EXPECT_EQ(QueryOfUrl(u"http://h/ag.cgi?"), u"");
    EXPECT_EQ(QueryOfUrl(u"http://h/ag.cgi"), u"");
    // A "#" before the "?" belongs to no query: the query runs from the first "?".
    EXPECT_EQ(QueryOfUrl(u"http://h/#x?page=Y"), u"page=Y");
}

TEST(UrlParts, UnderBaseUrl) {
    const std::u16string base = u"http://h/ag.cgi";
    EXPECT_TRUE(IsUnderBaseUrl(base + u"?page=X", base));
    EXPECT_TRUE(IsUnderBaseUrl(base, base));
    EXPECT_TRUE(IsUnderBaseUrl(base + u"#x", base));
    EXPECT_FALSE(IsUnderBaseUrl(base + u"x?page=X", base));
    EXPECT_FALSE(IsUnderBaseUrl(u"http://h/ag.cg", base));
    EXPECT_FALSE(IsUnderBaseUrl(u"http://other/ag.cgi?page=X", base));
    EXPECT_FALSE(IsUnderBaseUrl(u"?page=X", u""));
    EXPECT_TRUE(IsUnderBaseUrl(u"http://h/dir/x", u"http://h/dir/"));
}

}  // namespace
}  // namespace tt
