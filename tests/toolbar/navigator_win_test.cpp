// The navigator over the test browser: what Navigate2 receives, argument types included, and
// what the groupware then receives on the wire.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fakes/fresh_state.h"
#include "fakes/navigation.h"
#include "host/host_test_support_win.h"
#include "host/local_http_server_win.h"
#include "host/message_box_answerer_win.h"
#include "resources/string_table.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"
#include "support/unique_handle_win.h"
#include "toolbar/navigator_win.h"

namespace tt {
namespace {

using testing::PostedBytes;
using tthost::ComPtr;
using tthost::FakeBrowser;
using tthost::LocalHttpServer;
using tthost::MessageBoxAnswerer;
using tthost::NavigateCall;

// Real message boxes (answered by the test), a scripted settings dialog.
class BoxPrompts : public IUserPrompts {
public:
    int ShowMessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                       unsigned style) override {
        return ShowToolbarMessageBox(owner, text, caption, style);
    }
    int ShowOptionsDialog(const std::u16string&) override {
        ++dialogs;
        if (!urlEntered.empty()) theSettings.Set(u"TavelleUrl", urlEntered);
        return 1;
    }
    int dialogs = 0;
    std::u16string urlEntered;
};

class NavigatorOverBrowser : public testing::FreshStateTest<tthost::ComTest> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        ASSERT_TRUE(server.Started());
        server.Page("/gw/ag.cgi", "text/html; charset=utf-8", "<html><head><title>GW</title></head></html>");
        base = FromWide(server.Url(L"/gw/ag.cgi").c_str());
        theSettings.Set(u"TavelleUrl", base);
        theSettings.Set(u"Username", u"taro");
        theSettings.Set(u"AutoLogin", u"Yes");
        theSettings.SetTabsAvailable(true);
        StoreProtectedValue(u"UserPassword", u"p&w=1", u"");
        browser = FakeBrowser::Create(nullptr, nullptr);
        adapter.SetBrowser(browser.Get());
        navigator.browser = &adapter;
    }
    void TearDown() override {
        browser.Reset();
        FreshStateTest::TearDown();
    }

    const NavigateCall& Last() { return browser->NavigateCalls().back(); }
    std::wstring Url(const std::u16string& query) { return Wide(base + query); }

    LocalHttpServer server;
    std::u16string base;
    ComPtr<FakeBrowser> browser;
    CWebBrowserNavigation adapter;
    testing::FakeKeys keys;
    BoxPrompts prompts;
    CToolbarNavigator navigator{keys, prompts};
};

TEST_F(NavigatorOverBrowser, LogInIsPostedOnceWithItsZeroAndTheFormHeaders) {
    navigator.OpenPage(2062, false);
    ASSERT_EQ(browser->NavigateCalls().size(), 1u);
    const NavigateCall& first = Last();
    EXPECT_EQ(first.urlType, VT_BSTR);
    EXPECT_EQ(first.url, Url(u"?page=ToDoIndex"));
    EXPECT_EQ(first.flagsType, VT_I4);
    EXPECT_EQ(first.flags, navNoReadFromCache | navNoWriteToCache);
    EXPECT_EQ(first.targetType, VT_EMPTY);
    EXPECT_EQ(first.postDataType, VT_ARRAY | VT_UI1);
    // The password's "&" and "=" are escaped, so the server reads the password as typed.
    EXPECT_EQ(first.postData,
              PostedBytes("_System=login&_Login=1&_Account=taro&Password=p%26w%3D1&page=ToDoIndex"));
    EXPECT_EQ(first.headersType, VT_BSTR);
    EXPECT_EQ(first.headers, L"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n");
    EXPECT_EQ(browser->CountCalls(L"Stop"), 1);

    // On the wire: a POST of exactly those bytes.
    ASSERT_TRUE(browser->RunUntilIdle());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/gw/ag.cgi?page=ToDoIndex");
    const std::string sent = "_System=login&_Login=1&_Account=taro&Password=p%26w%3D1&page=ToDoIndex";
    EXPECT_EQ(requests[0].body, sent + std::string(1, '\0'));

    navigator.OpenPage(2061, false);
    EXPECT_EQ(Last().url, Url(u"?page=ScheduleUserMonth"));
    EXPECT_EQ(Last().postDataType, VT_EMPTY);
    EXPECT_EQ(Last().headers, L"Pragma: no-cache\n");
    EXPECT_EQ(Last().flags, 12);
}

TEST_F(NavigatorOverBrowser, FragmentStaysOutOfTheBody) {
    navigator.NavigateToUrl(base + u"?page=X#top", false);
    EXPECT_EQ(Last().url, Url(u"?page=X#top"));
    EXPECT_EQ(Last().postData, PostedBytes("_System=login&_Login=1&_Account=taro&Password=p%26w%3D1&page=X"));
}

TEST_F(NavigatorOverBrowser, CtrlOpensANewTabWithTheCookieOrElseTheLogIn) {
    keys.ctrl = true;
    navigator.OpenPage(2062, false);
    EXPECT_EQ(Last().flags, navOpenInNewTab);
    EXPECT_EQ(Last().postDataType, VT_ARRAY | VT_UI1);
    EXPECT_EQ(Last().headers, L"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n");
    EXPECT_FALSE(theProcessState.LoginSeen(theSettings.GetServerUrl()));

    theProcessState.SetGroupwareCookie(theSettings.GetServerUrl(), u"AGSESSID=42");
    navigator.OpenPage(2062, false);
    EXPECT_EQ(Last().flags, navOpenInNewTab);
    EXPECT_EQ(Last().postDataType, VT_EMPTY);
    EXPECT_EQ(Last().headers,
              L"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\nCookie: AGSESSID=42\n");
    EXPECT_FALSE(theProcessState.LoginSeen(theSettings.GetServerUrl()));
}

TEST_F(NavigatorOverBrowser, NewTabOrNewWindowByTheBrowsersTabs) {
    navigator.OpenPage(2050, true);
    EXPECT_EQ(Last().flags, navOpenInNewTab);
    EXPECT_EQ(Last().postDataType, VT_EMPTY);
    theSettings.SetTabsAvailable(false);
    navigator.OpenPage(2050, true);
    EXPECT_EQ(Last().flags, navOpenInNewWindow);
    ASSERT_TRUE(browser->RunUntilIdle());
    EXPECT_EQ(browser->NewWindows().size(), 2u);
}

TEST_F(NavigatorOverBrowser, EmptyUserNamePostsTheQueryAlone) {
    theSettings.Set(u"Username", u"");
    navigator.OpenPage(2062, false);
    EXPECT_EQ(Last().postData, PostedBytes("&page=ToDoIndex"));
    EXPECT_EQ(Last().headers, L"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n");
    EXPECT_TRUE(theProcessState.LoginSeen(theSettings.GetServerUrl()));
}

TEST_F(NavigatorOverBrowser, NoBaseUrlAnsweredNo) {
    theSettings.Set(u"TavelleUrl", u"");
    MessageBoxAnswerer answerer({IDNO});
    navigator.OpenPage(2062, false);
    const auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Tavelle(R) ツールバー");
    EXPECT_EQ(seen[0].text, Wide(LoadResourceString(533)));
    EXPECT_EQ(seen[0].buttons, (std::vector<int>{IDYES, IDNO}));
    // (No as the default button is the style's MB_DEFBUTTON2, checked without windows.)
    EXPECT_EQ(prompts.dialogs, 0);
    EXPECT_TRUE(browser->NavigateCalls().empty());
    EXPECT_EQ(theSettings.Get(u"DisableAutoSetting"), u"No");
    // Written to the registry.
    unique_hkey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tavelle\\TavelleToolbar\\Parameters", 0, KEY_READ,
                            key.put()),
              ERROR_SUCCESS);
    wchar_t value[16] = {};
    DWORD size = sizeof(value);
    ASSERT_EQ(RegQueryValueExW(key.get(), L"DisableAutoSetting", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(value), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, L"No");
}

TEST_F(NavigatorOverBrowser, NoBaseUrlAnsweredYesOpensWhatTheUserEntered) {
    theSettings.Set(u"TavelleUrl", u"");
    theProcessState.SetAllowToolbar(false);
    prompts.urlEntered = base;
    MessageBoxAnswerer answerer({IDYES});
    navigator.OpenPage(2061, false);
    EXPECT_EQ(answerer.Count(), 1u);
    EXPECT_EQ(prompts.dialogs, 1);
    ASSERT_EQ(browser->NavigateCalls().size(), 1u);
    EXPECT_EQ(Last().url, Url(u"?page=ScheduleUserMonth"));
}

TEST_F(NavigatorOverBrowser, RefusedToolbarShowsTheErrorOnly) {
    theProcessState.SetAllowToolbar(false);
    MessageBoxAnswerer answerer({IDOK});
    navigator.OpenPage(2050, false);
    const auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"TavelleOfficeでツールバーの使用が許可されていません。");
    EXPECT_EQ(seen[0].caption, L"Tavelle(R) ツールバー");
    EXPECT_EQ(seen[0].buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(browser->NavigateCalls().empty());
    EXPECT_EQ(browser->CountCalls(L"Stop"), 0);
}

TEST_F(NavigatorOverBrowser, LongBodyIsPostedWhole) {
    theSettings.Set(u"Username", std::u16string(400, u'u'));
    navigator.OpenPage(2062, false);
    const std::string expected =
        "_System=login&_Login=1&_Account=" + std::string(400, 'u') + "&Password=p%26w%3D1&page=ToDoIndex";
    EXPECT_EQ(Last().postData, PostedBytes(expected));
    ASSERT_TRUE(browser->RunUntilIdle());
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].body, expected + std::string(1, '\0'));
}

TEST(KeyStateWin, ReadsTheThreadsKeyboardState) {
    BYTE saved[256];
    ASSERT_TRUE(GetKeyboardState(saved));
    BYTE state[256] = {};
    CKeyStateWin keys;
    state[VK_CONTROL] = 0x80;
    ASSERT_TRUE(SetKeyboardState(state));
    EXPECT_TRUE(keys.CtrlHeld());
    EXPECT_FALSE(keys.ShiftHeld());
    state[VK_CONTROL] = 0;
    state[VK_SHIFT] = 0x80;
    ASSERT_TRUE(SetKeyboardState(state));
    EXPECT_FALSE(keys.CtrlHeld());
    EXPECT_TRUE(keys.ShiftHeld());
    SetKeyboardState(saved);
}

}  // namespace
}  // namespace tt
