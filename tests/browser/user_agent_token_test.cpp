// The product token in the user agent: added once before the closing parenthesis, only to a
// user agent of the usual shape.
#include <gtest/gtest.h>

#include "browser/user_agent_token.h"

namespace {

using tt::AddTokenToUserAgent;

TEST(UserAgentToken, AddedBeforeTheOnlyClosingParenthesisOnce) {
    const std::string token = tt::BuildUserAgentToken("TavelleToolbar", "0.1.1");
    EXPECT_EQ("TavelleToolbar/0.1.1", token);

    auto updated = AddTokenToUserAgent("Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)", token);
    ASSERT_TRUE(updated);
    EXPECT_EQ("Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; TavelleToolbar/0.1.1)", *updated);
    EXPECT_FALSE(AddTokenToUserAgent(*updated, token)) << "a second attachment adds nothing";
}

TEST(UserAgentToken, UnusualUserAgentsStayAsTheyAre) {
    const std::string token = "TavelleToolbar/0.1.1";
    // Text after the first parenthesis, no parenthesis, two of them, nothing at all.
    EXPECT_FALSE(AddTokenToUserAgent("Mozilla/5.0 (Windows NT 10.0) like Gecko", token));
    EXPECT_FALSE(AddTokenToUserAgent("Mozilla/4.0", token));
    EXPECT_FALSE(AddTokenToUserAgent("Mozilla/4.0 (compatible) (extra)", token));
    EXPECT_FALSE(AddTokenToUserAgent("", token));
    // Another version of the token does not count as present (case-sensitive substring).
    auto updated = AddTokenToUserAgent("Mozilla/4.0 (compatible; TavelleToolbar/0.1.0)", token);
    ASSERT_TRUE(updated);
    EXPECT_EQ("Mozilla/4.0 (compatible; TavelleToolbar/0.1.0; TavelleToolbar/0.1.1)", *updated);
}

TEST(UserAgentToken, ValueNamesOfAnyVersionAreTheProducts) {
    EXPECT_TRUE(tt::IsProductTokenValueName(u"TavelleToolbar/0.1.0", u"TavelleToolbar"));
    EXPECT_TRUE(tt::IsProductTokenValueName(u"TavelleToolbar/0.1.1", u"TavelleToolbar"));
    EXPECT_FALSE(tt::IsProductTokenValueName(u"tavelletoolbar/0.1.1", u"TavelleToolbar"));
    EXPECT_FALSE(tt::IsProductTokenValueName(u"SV1", u"TavelleToolbar"));
    EXPECT_FALSE(tt::IsProductTokenValueName(u"SV1", u""));
}

}  // namespace
