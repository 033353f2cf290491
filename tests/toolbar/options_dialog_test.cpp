#include "toolbar/options_dialog.h"

#include <gtest/gtest.h>

#include "fakes/options_backend.h"
#include "settings/key_store_memory.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/search_history.h"
#include "settings/settings_test_support.h"
#include "settings/toolbar_settings.h"
#include "settings/user_bound_protector.h"
#include "support/threads.h"
#include "text/url.h"

namespace tt {
namespace {

using testing::FakeOptionsBackend;

struct OptionsFixture : ::testing::Test {
    FakeOptionsBackend backend;
    void SetUp() override {
        backend.params = {{u"TavelleUrl", u"http://gw.example.jp/ag.cgi"},
                          {u"Username", u"yamada"},
                          {u"AutoLogin", u"Yes"},
                          {u"NewTabInSearchResult", u"yes"},
                          {u"NewTabInNewItem", u"Yes"}};
        backend.storedPassword = u"secret";
    }
};

TEST_F(OptionsFixture, TheFieldsComeFromTheSettingsAndOnlyExactlyYesIsTrue) {
    backend.tabs = false;
    backend.allowAutoLogin = false;
    const OptionsFields f = ReadOptionsFields(backend, u"");
    EXPECT_EQ(f.serverUrl, u"http://gw.example.jp/ag.cgi");
    EXPECT_EQ(f.userName, u"yamada");
    EXPECT_EQ(f.password, u"secret");
    EXPECT_TRUE(f.autoLogin);
    EXPECT_FALSE(f.newTabInSearchResult);  // "yes" is not "Yes"
    EXPECT_TRUE(f.newTabInNewItem);
    EXPECT_FALSE(f.tabsAvailable);
    EXPECT_FALSE(f.allowAutoLogin);
    EXPECT_TRUE(f.allowToolbar);
    EXPECT_EQ(ReadOptionsFields(backend, u"http://preset/ag.exe").serverUrl, u"http://preset/ag.exe");
}

TEST_F(OptionsFixture, OkChecksThePermissionOfTheOldServerThenStoresInOrder) {
    const intptr_t result = RunOptionsDialog(backend, u"", [&](OptionsFields& f) {
        EXPECT_EQ(backend.calls, (std::vector<std::string>{"check(false)"}));
        f.serverUrl = u"http://new.example.jp/ag.exe";
        f.userName = u" suzuki ";
        f.password = u"p w";
        f.autoLogin = false;
        f.newTabInSearchResult = true;
        f.newTabInNewItem = false;
        return intptr_t{1};
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(backend.calls,
              (std::vector<std::string>{"check(false)", "check(true)", "set NewTabInSearchResult=Yes",
                                        "set NewTabInNewItem=No", "set AutoLogin=No", "set Username= suzuki ",
                                        "set TavelleUrl=http://new.example.jp/ag.exe", "save(true)",
                                        "store password", "clear loginSeen"}));
    EXPECT_EQ(backend.storedPassword, u"p w");
    EXPECT_FALSE(backend.loginSeen);
}

TEST_F(OptionsFixture, CancelStoresNothingButAHistoryDeletionStays) {
    const intptr_t result = RunOptionsDialog(backend, u"", [&](OptionsFields& f) {
        f.serverUrl = u"http://other/ag.cgi";
        backend.DeleteSearchHistory();  // the history button acts at once
        return intptr_t{2};
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(backend.calls, (std::vector<std::string>{"check(false)", "delete history"}));
    EXPECT_EQ(backend.params[u"TavelleUrl"], u"http://gw.example.jp/ag.cgi");
    EXPECT_FALSE(backend.passwordStored);
    EXPECT_TRUE(backend.loginSeen);
}

TEST_F(OptionsFixture, AnEmptyPasswordIsStoredToo) {
    RunOptionsDialog(backend, u"", [](OptionsFields& f) {
        f.password.clear();
        return intptr_t{1};
    });
    EXPECT_TRUE(backend.passwordStored);
    EXPECT_EQ(backend.storedPassword, u"");
    EXPECT_FALSE(backend.loginSeen);
}

TEST_F(OptionsFixture, RefusedPermissionsSwitchAutomaticLogInOffAndOkStoresNo) {
    backend.allowAutoLogin = false;
    RunOptionsDialog(backend, u"", [](OptionsFields& f) {
        const OptionsInitPlan plan = PlanOptionsInit(f);
        EXPECT_FALSE(plan.showToolbarRefused);
        EXPECT_TRUE(plan.showAutoLoginRefused);
        EXPECT_FALSE(plan.autoLoginEnabled);
        EXPECT_TRUE(plan.tabBoxesEnabled);
        return intptr_t{1};
    });
    EXPECT_EQ(backend.params[u"AutoLogin"], u"No");
}

TEST(OptionsInit, EachRefusalShowsItsLabels) {
    OptionsFields f;
    f.autoLogin = true;
    f.tabsAvailable = true;
    OptionsInitPlan plan = PlanOptionsInit(f);
    EXPECT_FALSE(plan.showToolbarRefused);
    EXPECT_FALSE(plan.showAutoLoginRefused);
    EXPECT_TRUE(plan.autoLoginEnabled);
    EXPECT_TRUE(f.autoLogin);

    f.allowToolbar = false;  // the server refuses the toolbar: both warnings
    plan = PlanOptionsInit(f);
    EXPECT_TRUE(plan.showToolbarRefused);
    EXPECT_TRUE(plan.showAutoLoginRefused);
    EXPECT_FALSE(plan.autoLoginEnabled);
    EXPECT_FALSE(f.autoLogin);

    OptionsFields noTabs;
    noTabs.newTabInNewItem = true;
    plan = PlanOptionsInit(noTabs);
    EXPECT_FALSE(plan.tabBoxesEnabled);
    EXPECT_TRUE(noTabs.newTabInNewItem);  // disabled, not cleared
}

TEST(OptionsUrlField, OkTrimsWhiteSpaceThenTrailingQuestionMarks) {
    EXPECT_EQ(NormalizeServerUrlField(u"  http://h/ag.cgi??\t\r\n"), u"http://h/ag.cgi");
    EXPECT_EQ(NormalizeServerUrlField(u"\u3000HTTP://H/AG.CGI?\u3000"), u"HTTP://H/AG.CGI");
    EXPECT_EQ(NormalizeServerUrlField(u"http://h/x?a=1"), u"http://h/x?a=1");
    EXPECT_EQ(NormalizeServerUrlField(u"???"), u"");
    EXPECT_EQ(NormalizeServerUrlField(u" \t "), u"");
    // Trimmed first: white space before the question marks stays.
    EXPECT_EQ(NormalizeServerUrlField(u"x ?"), u"x ");
}

TEST(OptionsUrlField, AGroupwarePageUrlIsCutToItsBase) {
    EXPECT_EQ(CutServerUrlField(u"http://h/ag.cgi?page=AGIndex", GetServerBaseUrl), u"http://h/ag.cgi");
    EXPECT_EQ(CutServerUrlField(u"http://h/ag.cgi?", GetServerBaseUrl), u"http://h/ag.cgi");
    EXPECT_EQ(CutServerUrlField(u"  https://h/ag.exe?page=X  ", GetServerBaseUrl), u"https://h/ag.exe");
    // Left as typed: already the base (even with white space around it), or not a groupware URL.
    EXPECT_EQ(CutServerUrlField(u"http://h/ag.cgi", GetServerBaseUrl), std::nullopt);
    EXPECT_EQ(CutServerUrlField(u" http://h/ag.cgi ", GetServerBaseUrl), std::nullopt);
    EXPECT_EQ(CutServerUrlField(u"HTTP://h/ag.cgi?page=X", GetServerBaseUrl), std::nullopt);
    EXPECT_EQ(CutServerUrlField(u"", GetServerBaseUrl), std::nullopt);
    EXPECT_EQ(CutServerUrlField(u"http://other.example/index.html?a=1", GetServerBaseUrl), std::nullopt);
    // A base function that gives something longer is not trusted.
    EXPECT_EQ(CutServerUrlField(u"ab", [](const std::u16string&) { return std::u16string(u"abc"); }),
              std::nullopt);
}

TEST(OptionsUrlField, TheEditGuardBelongsToOneThread) {
    SetUrlEditGuard(true);
    bool seenElsewhere = true;
    JoinableThread([&] { seenElsewhere = UrlEditGuard(); }).Join();
    EXPECT_TRUE(UrlEditGuard());
    EXPECT_FALSE(seenElsewhere);
    SetUrlEditGuard(false);
    EXPECT_FALSE(UrlEditGuard());
}

// The dialog over the real settings record, in a store in memory.
struct OptionsOverSettings : ::testing::Test {
    CMemoryKeyStore store;
    testing::FakeClock clock;
    CToolbarSettings settings{store, clock};
    CProcessState state;
    CUserBoundProtector protector{u"tester"};
    std::vector<std::u16string> urlsSeenByChecks;
    CSettingsOptionsBackend backend{
        settings, state, store, protector, [this](bool force) {
            urlsSeenByChecks.push_back((force ? u"force " : u"") + settings.GetServerUrl());
        }};

    void SetUp() override {
        clock.Set(2008, 3, 5, 10);
        settings.Load(false);
        settings.Set(u"TavelleUrl", u"http://old.example/ag.cgi");
        settings.Set(u"AutoLogin", u"Yes");
        settings.Save(true);
        StoreProtectedValue(store, protector, u"UserPassword", u"old secret", u"");
        SaveMruList(store, u"SearchMRU", {u"a", u"b"});
        state.SetLoginSeen(settings.GetServerUrl(), true);
    }
    testing::Stored Param(const std::u16string& name) {
        return testing::ReadStored(store, testing::Sub(u"Parameters"), name);
    }
};

TEST_F(OptionsOverSettings, OkStoresTheParametersAndAProtectedEmptyPassword) {
    EXPECT_EQ(RunOptionsDialog(backend, u"",
                               [](OptionsFields& f) {
                                   EXPECT_EQ(f.serverUrl, u"http://old.example/ag.cgi");
                                   EXPECT_EQ(f.password, u"old secret");
                                   EXPECT_TRUE(f.autoLogin);
                                   f.serverUrl = u"http://new.example/ag.exe";
                                   f.userName = u"hanako";
                                   f.password.clear();
                                   f.newTabInNewItem = true;
                                   return intptr_t{1};
                               }),
              1);
    // Both checks ran against the server stored before the dialog.
    EXPECT_EQ(urlsSeenByChecks, (std::vector<std::u16string>{u"http://old.example/ag.cgi",
                                                             u"force http://old.example/ag.cgi"}));
    EXPECT_EQ(Param(u"TavelleUrl"), testing::StoredText(u"http://new.example/ag.exe"));
    EXPECT_EQ(Param(u"Username"), testing::StoredText(u"hanako"));
    EXPECT_EQ(Param(u"AutoLogin"), testing::StoredText(u"Yes"));
    EXPECT_EQ(Param(u"NewTabInNewItem"), testing::StoredText(u"Yes"));
    EXPECT_EQ(Param(u"NewTabInSearchResult"), testing::StoredText(u"No"));
    const testing::Stored password = testing::ReadStored(store, testing::kSettingsPath, u"UserPassword");
    EXPECT_EQ(password.type, kRegBinary);
    EXPECT_FALSE(password.data.empty());
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"");
    EXPECT_FALSE(state.LoginSeen(settings.GetServerUrl()));
}

TEST_F(OptionsOverSettings, CancelStoresNothingButTheHistoryStaysDeleted) {
    EXPECT_EQ(RunOptionsDialog(backend, u"",
                               [&](OptionsFields& f) {
                                   f.serverUrl = u"http://new.example/ag.exe";
                                   f.password = u"changed";
                                   backend.DeleteSearchHistory();
                                   return intptr_t{2};
                               }),
              2);
    EXPECT_EQ(Param(u"TavelleUrl"), testing::StoredText(u"http://old.example/ag.cgi"));
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"old secret");
    EXPECT_TRUE(state.LoginSeen(settings.GetServerUrl()));
    EXPECT_EQ(testing::ValueNames(store, testing::Sub(u"SearchMRU")),
              (std::vector<std::u16string>{u"<missing>"}));
    std::vector<std::u16string> history{u"left alone"};
    LoadMruList(store, u"SearchMRU", history);
    EXPECT_TRUE(history.empty());
}

TEST_F(OptionsOverSettings, RefusedPermissionsComeFromTheProcessState) {
    state.SetAllowToolbar(false);
    const OptionsFields f = ReadOptionsFields(backend, u"");
    EXPECT_FALSE(f.allowToolbar);
    EXPECT_TRUE(f.allowAutoLogin);
    settings.SetTabsAvailable(true);
    state.SetAllowAutoLogin(false);
    const OptionsFields g = ReadOptionsFields(backend, u"");
    EXPECT_TRUE(g.tabsAvailable);
    EXPECT_FALSE(g.allowAutoLogin);
}

}  // namespace
}  // namespace tt
