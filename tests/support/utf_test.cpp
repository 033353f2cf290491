#include "support/utf.h"

#include <gtest/gtest.h>

namespace tt {
namespace {

TEST(Utf, RoundTripsAsciiJapaneseAndSurrogatePairs) {
    const std::u16string text = u"ab\u3042\u30c4\U0001F600z";
    const std::string bytes = Utf16ToUtf8(text);
    EXPECT_EQ(bytes, "ab\xE3\x81\x82\xE3\x83\x84\xF0\x9F\x98\x80z");
    EXPECT_EQ(Utf8ToUtf16(bytes), text);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
    // Lone surrogate out, truncated sequence, overlong form and a stray continuation byte in.
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("a\xE3\x81"), u"a\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\x80x"), u"\uFFFDx");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");
}

TEST(Utf, DoubleEachQuotesOnlyItsCharacter) {
    EXPECT_EQ(DoubleEach(u"Q&&A & 'x'", u'&'), u"Q&&&&A && 'x'");
    EXPECT_EQ(DoubleEach(u"C:\\O'Neil's\\", u'\''), u"C:\\O''Neil''s\\");
    EXPECT_EQ(DoubleEach(u"", u'&'), u"");
}

}  // namespace
}  // namespace tt
