// The server's permission file and the two flags it drives.
#include <gtest/gtest.h>

#include "fakes/fresh_state.h"
#include "fakes/http_client.h"
#include "net/permission.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"

namespace tt {
namespace {

using testing::FakeHttpClient;

constexpr char16_t kFileUrl[] = u"http://gw.example/tv70/toolbar.txt";

class Permission : public testing::FreshStateTest<> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        theSettings.Set(u"TavelleUrl", u"http://gw.example/cgi-bin/ag.cgi");
    }

    // Flags after a fresh process fetches the given file.
    std::pair<bool, bool> FlagsFor(const std::u16string& file) {
        theProcessState.Reset();
        http.Answer(kFileUrl, file);
        CheckToolbarPermission(http, false);
        return {theProcessState.AllowToolbar(), theProcessState.AllowAutoLogin()};
    }

    FakeHttpClient http;
};

TEST_F(Permission, FetchesTheFileOnceAtTheServerRootAndStoresBothFlags) {
    http.Answer(kFileUrl, u"# comment\nAllowAutoLogin=no\nAllowToolbar=yes\n");
    CheckToolbarPermission(http, false);
    ASSERT_EQ(http.RequestCount(), 1u);
    const auto request = http.Requests()[0];
    EXPECT_EQ(request.url, kFileUrl);
    EXPECT_EQ(request.verb, u"GET");
    EXPECT_EQ(request.headers, u"");
    EXPECT_EQ(request.body, u"");
    EXPECT_TRUE(theProcessState.AllowToolbar());
    EXPECT_FALSE(theProcessState.AllowAutoLogin());
    EXPECT_EQ(theSettings.Get(u"AllowToolbar"), u"Yes");
    EXPECT_EQ(theSettings.Get(u"AllowAutoLogin"), u"No");
}

TEST_F(Permission, ValuesAndLineBreaksAsTheFileWritesThem) {
    EXPECT_EQ(FlagsFor(u"AllowToolbar=NO\n"), std::make_pair(false, true));  // any letter case
    EXPECT_EQ(FlagsFor(u"AllowToolbar=nO\r\nAllowAutoLogin=No\r"), std::make_pair(false, false));
    EXPECT_EQ(FlagsFor(u"AllowToolbar= no\n"), std::make_pair(true, true));  // a leading blank allows
    EXPECT_EQ(FlagsFor(u"AllowToolbar=no \n"), std::make_pair(true, true));
    EXPECT_EQ(FlagsFor(u"x\nAllowToolbar=no"), std::make_pair(true, true));   // no final line break
    EXPECT_EQ(FlagsFor(u"XAllowToolbar=no\n"), std::make_pair(false, true));  // found inside a word
    EXPECT_EQ(FlagsFor(u"AllowToolbar=\r\n"), std::make_pair(true, true));    // the value read is the CR
    EXPECT_EQ(FlagsFor(u"AllowToolbar=off\nAllowAutoLogin=false\n"), std::make_pair(true, true));
    // Only the first occurrence counts.
    EXPECT_EQ(FlagsFor(u"AllowToolbar=yes\nAllowToolbar=no\n"), std::make_pair(true, true));
    EXPECT_EQ(FlagsFor(u"AllowToolbar=no\nAllowToolbar=yes\n"), std::make_pair(false, true));
    // A file without the keys allows everything.
    EXPECT_EQ(FlagsFor(u"nothing here\n"), std::make_pair(true, true));
    EXPECT_EQ(theSettings.Get(u"AllowToolbar"), u"Yes");
}

TEST_F(Permission, TheStoredPortCredentialsAndPathAreNotUsed) {
    theSettings.Set(u"TavelleUrl", u"https://user:pw@gw.example:8443/deep/path/ag.exe");
    CheckToolbarPermission(http, false);
    ASSERT_EQ(http.RequestCount(), 1u);
    EXPECT_EQ(http.Requests()[0].url, u"https://gw.example/tv70/toolbar.txt");
    EXPECT_EQ(PermissionFileUrl(u"http://h:81/ag.cgi"), u"http://h/tv70/toolbar.txt");
    EXPECT_EQ(PermissionFileUrl(u"not a url"), u"");
}

TEST_F(Permission, AFailedFetchKeepsTheFlagsAndStoresNothing) {
    theProcessState.SetAllowToolbar(false);
    CheckToolbarPermission(http, false);  // the fake answers nothing, like a 404
    EXPECT_EQ(http.RequestCount(), 1u);
    EXPECT_FALSE(theProcessState.AllowToolbar());
    EXPECT_TRUE(theProcessState.AllowAutoLogin());
    EXPECT_EQ(theSettings.Get(u"AllowToolbar"), u"");
    EXPECT_EQ(theSettings.Get(u"AllowAutoLogin"), u"");
    EXPECT_TRUE(theProcessState.PermissionFetched(theSettings.GetServerUrl()));
}

TEST_F(Permission, TheCachedAnswerIsAppliedAgainUntilAForcedFetch) {
    http.Answer(kFileUrl, u"AllowToolbar=no\n");
    CheckToolbarPermission(http, false);
    EXPECT_FALSE(theProcessState.AllowToolbar());

    // Someone else changed the flag and the stored entry: a call without force does not ask
    // the server again but applies and stores the cached answer again.
    theProcessState.SetAllowToolbar(true);
    theSettings.Set(u"AllowToolbar", u"Yes");
    http.Answer(kFileUrl, u"AllowToolbar=yes\n");
    CheckToolbarPermission(http, false);
    EXPECT_EQ(http.RequestCount(), 1u);
    EXPECT_FALSE(theProcessState.AllowToolbar());
    EXPECT_EQ(theSettings.Get(u"AllowToolbar"), u"No");

    CheckToolbarPermission(http, true);
    EXPECT_EQ(http.RequestCount(), 2u);
    EXPECT_TRUE(theProcessState.AllowToolbar());

    // A forced fetch that fails replaces the cache with nothing: the flags stay as they are.
    http.Forget(kFileUrl);
    theProcessState.SetAllowToolbar(false);
    CheckToolbarPermission(http, true);
    CheckToolbarPermission(http, false);
    EXPECT_EQ(http.RequestCount(), 3u);
    EXPECT_FALSE(theProcessState.AllowToolbar());
}

TEST_F(Permission, TheStoredAnswerCountsUntilThisServerIsAsked) {
    theSettings.Set(u"AllowAutoLogin", u"No");
    ApplyStoredPermission();
    EXPECT_FALSE(theProcessState.AllowAutoLogin());
    EXPECT_TRUE(theProcessState.AllowToolbar());  // no entry: left as it was

    http.Answer(kFileUrl, u"AllowAutoLogin=yes\n");
    CheckToolbarPermission(http, false);
    theSettings.Set(u"AllowAutoLogin", u"No");  // written by another process meanwhile
    ApplyStoredPermission();
    EXPECT_TRUE(theProcessState.AllowAutoLogin());

    // A new server's file is fetched, not the old server's answer applied.
    theSettings.Set(u"TavelleUrl", u"http://next.example/ag.exe");
    ApplyStoredPermission();
    EXPECT_FALSE(theProcessState.AllowAutoLogin());
    CheckToolbarPermission(http, false);
    ASSERT_EQ(http.RequestCount(), 2u);
    EXPECT_EQ(http.Requests()[1].url, u"http://next.example/tv70/toolbar.txt");
}

TEST_F(Permission, NoServerUrlDoesNothingAtAll) {
    http.Answer(kFileUrl, u"AllowToolbar=no\n");
    CheckToolbarPermission(http, false);
    ASSERT_FALSE(theProcessState.AllowToolbar());
    theProcessState.SetAllowToolbar(true);
    theSettings.Set(u"TavelleUrl", u"");
    CheckToolbarPermission(http, true);
    CheckToolbarPermission(http, false);
    EXPECT_EQ(http.RequestCount(), 1u);
    EXPECT_TRUE(theProcessState.AllowToolbar());  // the cached "no" is not applied either
}

TEST_F(Permission, AHugeUnterminatedTailStaysCheap) {
    // Many keys after the last line break cannot match; they must not cost a scan each.
    std::u16string file = u"AllowAutoLogin=no\n";
    for (int i = 0; i < 200000; ++i) file += u"AllowToolbar=";
    EXPECT_EQ(FlagsFor(file), std::make_pair(true, false));
}

}  // namespace
}  // namespace tt
