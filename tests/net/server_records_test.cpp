// List pages of the groupware: how their lines become records and appointments.
#include <gtest/gtest.h>

#include "net/server_check.h"
#include "text/pattern_matcher.h"

namespace tt {
namespace {

std::vector<ServerRecord> Parse(const std::u16string& text) {
    std::vector<ServerRecord> records{{u"stale"}};
    ParseServerRecords(text, records);
    return records;
}

TEST(ServerRecords, LinesEndAtNoErrorAndEveryKindOfLineBreakSeparates) {
    // Header, one entry, NOERROR, then a line that must be ignored.
    EXPECT_EQ(Parse(u"head\r\nA,?page=X,Title\r\nNOERROR\r\nB,?page=Y,Other\r\n"),
              (std::vector<ServerRecord>{{u"head"}, {u"A", u"?page=X", u"Title"}}));
    // Lone CR, lone LF, LF CR and blank lines mix freely; blank lines are no records.
    EXPECT_EQ(Parse(u"a\rb\n\n\nc\n\rd\r\n\r\n"),
              (std::vector<ServerRecord>{{u"a"}, {u"b"}, {u"c"}, {u"d"}}));
    // NOERROR counts only as a whole line and in capitals.
    EXPECT_EQ(Parse(u"NOERRORS\nnoerror\n NOERROR\nx"),
              (std::vector<ServerRecord>{{u"NOERRORS"}, {u"noerror"}, {u" NOERROR"}, {u"x"}}));
    EXPECT_TRUE(Parse(u"NOERROR\nA,B").empty());
    // The last line needs no line break.
    EXPECT_EQ(Parse(u"9,05,Meeting"), (std::vector<ServerRecord>{{u"9", u"05", u"Meeting"}}));
}

TEST(ServerRecords, HtmlAndEmptyAnswersHoldNoRecords) {
    EXPECT_TRUE(Parse(u"").empty());
    EXPECT_TRUE(Parse(u"<html><title>login</title></html>\nA,B,C").empty());
    EXPECT_TRUE(Parse(u"\r\n\r\n").empty());
    // Only the very first character decides.
    EXPECT_EQ(Parse(u" <b>,x"), (std::vector<ServerRecord>{{u" <b>", u"x"}}));
}

TEST(ServerRecords, QuotedFieldsMayHoldCommasAndLoseTheirQuotes) {
    EXPECT_EQ(Parse(u"\"a,b\",page=Z,\"T\""), (std::vector<ServerRecord>{{u"a,b", u"page=Z", u"\"T\""}}));
    // An empty quoted field, empty plain fields, and a trailing comma that adds no field.
    EXPECT_EQ(Parse(u"\"\",,x,"), (std::vector<ServerRecord>{{u"", u"", u"x"}}));
    EXPECT_EQ(Parse(u",,"), (std::vector<ServerRecord>{{u"", u""}}));
    // The Japanese of the groupware passes through untouched.
    EXPECT_EQ(Parse(u"新着,?page=BulletinView&id=3,掲示板のお知らせ"),
              (std::vector<ServerRecord>{{u"新着", u"?page=BulletinView&id=3", u"掲示板のお知らせ"}}));
}

TEST(ServerRecords, TextBeforeAFieldThatTheSearchPassesOverIsDropped) {
    // A quote that never closes before a comma cannot start a field: the search moves on and
    // the characters it passed over are lost, as the field pattern finds them.
    EXPECT_EQ(Parse(u"a\"b,c"), (std::vector<ServerRecord>{{u"b", u"c"}}));
    // A quoted text must be followed by the comma directly.
    EXPECT_EQ(Parse(u"\"ab\"x,y"), (std::vector<ServerRecord>{{u"x", u"y"}}));
    // No comma at all: the whole line, quotes and all, is the one field.
    EXPECT_EQ(Parse(u"\"only\""), (std::vector<ServerRecord>{{u"\"only\""}}));
    EXPECT_EQ(Parse(u"x,\"open"), (std::vector<ServerRecord>{{u"x", u"\"open"}}));
}

// The field rule stated with the system's pattern matcher: match the field pattern in the rest
// of the line, take group 0 without its outer quotes, go on after the comma.
ServerRecord SplitWithPatternMatcher(const CPatternMatcher& matcher, const std::u16string& line) {
    ServerRecord record;
    std::u16string rest = line;
    for (;;) {
        CPatternMatch match;
        if (!matcher.Match(rest, match)) {
            record.push_back(rest);
            return record;
        }
        std::u16string field = match.GroupText(rest, 0);
        while (!field.empty() && field.front() == u'"') field.erase(0, 1);
        while (!field.empty() && field.back() == u'"') field.pop_back();
        record.push_back(field);
        rest = rest.substr(match.End());
        if (rest.empty()) return record;
    }
}

TEST(ServerRecords, FieldsAreExactlyWhatTheFieldPatternFinds) {
    // Every line of up to seven characters over plain, comma and quote.
    CPatternMatcher matcher;
    ASSERT_EQ(matcher.Parse(u"{(\"[^\"]*\")|([^,\"]*?)},", true), PatternOk);
    const char16_t alphabet[] = {u'a', u',', u'"'};
    int checked = 0;
    for (int length = 1; length <= 7; ++length) {
        int combinations = 1;
        for (int i = 0; i < length; ++i) combinations *= 3;
        for (int code = 0; code < combinations; ++code) {
            std::u16string line;
            for (int i = 0, c = code; i < length; ++i, c /= 3) line += alphabet[c % 3];
            std::vector<ServerRecord> records;
            ParseServerRecords(line, records);
            ASSERT_EQ(records.size(), 1u);
            ASSERT_EQ(records[0], SplitWithPatternMatcher(matcher, line))
                << "line of length " << length << ", code " << code;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 3279);
}

TEST(ServerRecords, LongHostileLinesStayLinear) {
    // A megabyte without a comma, and one of unclosed quotes, each parse as one field.
    std::u16string plain(1 << 20, u'x');
    EXPECT_EQ(Parse(plain), std::vector<ServerRecord>(1, ServerRecord{plain}));
    std::u16string quotes(1 << 20, u'"');
    EXPECT_EQ(Parse(quotes), std::vector<ServerRecord>(1, ServerRecord{quotes}));
    std::u16string quoted;
    for (int i = 0; i < 100000; ++i) quoted += u"\"a\"b";
    EXPECT_EQ(Parse(quoted + u",z").at(0).back(), u"z");
}

TEST(ServerRecords, LeadingIntegersAsTheListPagesSendThem) {
    EXPECT_EQ(ParseLeadingInt(u"9"), 9);
    EXPECT_EQ(ParseLeadingInt(u"05"), 5);
    EXPECT_EQ(ParseLeadingInt(u"  \t-12x"), -12);
    EXPECT_EQ(ParseLeadingInt(u"+7"), 7);
    EXPECT_EQ(ParseLeadingInt(u""), 0);
    EXPECT_EQ(ParseLeadingInt(u"abc"), 0);
    EXPECT_EQ(ParseLeadingInt(u"- 3"), 0);
    EXPECT_EQ(ParseLeadingInt(u"99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseLeadingInt(u"-99999999999999999999"), -2147483647 - 1);
}

TEST(ServerRecords, NextAppointmentIsTheFirstNotYetBegun) {
    const std::vector<ServerRecord> schedule{{u"9", u"05", u"Meeting"},
                                             {u"13", u"00", u"Lunch talk", u"extra"}};
    EXPECT_EQ(NextAppointmentCaption(schedule, 9, 5), u"9:05 Meeting");  // begins this minute
    EXPECT_EQ(NextAppointmentCaption(schedule, 9, 6), u"13:00 Lunch talk");
    EXPECT_EQ(NextAppointmentCaption(schedule, 8, 59), u"9:05 Meeting");
    EXPECT_EQ(NextAppointmentCaption(schedule, 13, 1), u"");  // everything is over
    // Short records are skipped, not taken as 0:00.
    EXPECT_EQ(NextAppointmentCaption({{u"23", u"59"}, {u"x"}, {u"10", u"30", u"会議"}}, 10, 0),
              u"10:30 会議");
    // A later hour wins whatever its minute.
    EXPECT_EQ(NextAppointmentCaption({{u"10", u"00", u"a"}}, 9, 59), u"10:00 a");
    EXPECT_EQ(NextAppointmentCaption({}, 0, 0), u"");
}

}  // namespace
}  // namespace tt
