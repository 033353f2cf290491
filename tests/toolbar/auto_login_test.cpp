// The automatic log-in test and the log-in body that navigations and background requests post.
#include <gtest/gtest.h>

#include "fakes/fresh_state.h"
#include "settings/auto_login.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"

namespace tt {
namespace {

class AutoLogin : public testing::FreshStateTest<> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        theSettings.Set(u"AutoLogin", u"Yes");
        theSettings.Set(u"Username", u"taro");
        StoreProtectedValue(u"UserPassword", u"secret", u"");
    }
};

TEST_F(AutoLogin, ActiveOnlyWithTheServersPermissionAndExactlyYes) {
    EXPECT_TRUE(IsAutoLoginActive());
    theProcessState.SetAllowAutoLogin(false);
    EXPECT_FALSE(IsAutoLoginActive());
    EXPECT_EQ(BuildLoginBody(), u"");
    theProcessState.SetAllowAutoLogin(true);
    for (const char16_t* value : {u"yes", u"YES", u"Yes ", u"", u"No", u"1"}) {
        theSettings.Set(u"AutoLogin", value);
        EXPECT_FALSE(IsAutoLoginActive());
        EXPECT_EQ(BuildLoginBody(), u"");
    }
}

TEST_F(AutoLogin, TheBodyCarriesTheStoredAccountAndTheDecryptedPassword) {
    EXPECT_EQ(BuildLoginBody(), u"_System=login&_Login=1&_Account=taro&Password=secret");
    StoreProtectedValue(u"UserPassword", u"", u"");
    EXPECT_EQ(BuildLoginBody(), u"_System=login&_Login=1&_Account=taro&Password=");
    // No user name: no body at all, whatever the password.
    theSettings.Set(u"Username", u"");
    StoreProtectedValue(u"UserPassword", u"secret", u"");
    EXPECT_EQ(BuildLoginBody(), u"");
}

TEST_F(AutoLogin, ReservedCharactersAreEscapedSoThePasswordArrivesAsTyped) {
    theSettings.Set(u"Username", u"a&b");
    StoreProtectedValue(u"UserPassword", u"x=1+2%&_Account=admin", u"");
    EXPECT_EQ(BuildLoginBody(),
              u"_System=login&_Login=1&_Account=a%26b&Password=x%3D1%2B2%25%26_Account%3Dadmin");
}

TEST_F(AutoLogin, EveryOtherCharacterGoesInUnchanged) {
    // Japanese, blanks, '#', '?' and a "%s" of the password itself stay as they are (the
    // '%' of course escaped); the caller turns the text into bytes.
    EXPECT_EQ(FormatLoginBody(u"山田 太郎", u"pa ss#?/%s"),
              u"_System=login&_Login=1&_Account=山田 太郎&Password=pa ss#?/%25s");
    EXPECT_EQ(EscapeFormReserved(u""), u"");
    EXPECT_EQ(EscapeFormReserved(u"%%"), u"%25%25");
    EXPECT_EQ(EscapeFormReserved(u"a;b,c"), u"a;b,c");
}

}  // namespace
}  // namespace tt
