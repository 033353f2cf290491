#include "host/driver_protocol.h"

#include <gtest/gtest.h>

namespace tthost {
namespace {

TEST(DriverProtocol, CommandFieldsSplitAtTabsAndKeepEmptyFieldsAndJapanese) {
    EXPECT_EQ(SplitDriverCommand("click\t2002\tarrow"),
              (std::vector<std::u16string>{u"click", u"2002", u"arrow"}));
    // A line from a Windows-style writer ends in CR; only that one CR goes.
    EXPECT_EQ(SplitDriverCommand("type\t\xe4\xbc\x9a\xe8\xad\xb0 x\r"),
              (std::vector<std::u16string>{u"type", u"会議 x"}));
    EXPECT_EQ(SplitDriverCommand("set-text\t12\t516\t"),
              (std::vector<std::u16string>{u"set-text", u"12", u"516", u""}));
    EXPECT_EQ(SplitDriverCommand(""), (std::vector<std::u16string>{u""}));
    EXPECT_EQ(SplitDriverCommand("a\t\tb\r\r"), (std::vector<std::u16string>{u"a", u"", u"b\r"}));
}

TEST(DriverProtocol, JsonPlacesCommasInNestedContainers) {
    JsonWriter w;
    w.BeginObject()
        .Key("ok")
        .Bool(true)
        .Key("list")
        .BeginArray()
        .Number(1)
        .Number(-2)
        .BeginObject()
        .EndObject();
    w.BeginArray().EndArray().Null().EndArray().Key("n").Number(0).EndObject();
    EXPECT_EQ(w.Text(), R"({"ok":true,"list":[1,-2,{},[],null],"n":0})");

    JsonWriter inner;
    inner.BeginObject().Key("a").String("x").EndObject();
    JsonWriter outer;
    outer.BeginObject()
        .Key("first")
        .Number(1)
        .Key("inner")
        .Raw(inner.Text())
        .Key("last")
        .Bool(false)
        .EndObject();
    EXPECT_EQ(outer.Text(), R"({"first":1,"inner":{"a":"x"},"last":false})");
}

TEST(DriverProtocol, JsonEscapesWhatItMustAndWritesUtf8) {
    JsonWriter w;
    w.BeginArray()
        .String(u"quote \" backslash \\ slash /")
        .String(u"\r\n\t\x01\x1f")
        .String(u"トップページ")
        .String(u"\U0001F600")
        .String(std::u16string(1, char16_t(0xD800)) + u"x")
        .EndArray();
    EXPECT_EQ(w.Text(),
              "[\"quote \\\" backslash \\\\ slash /\",\"\\u000d\\u000a\\u0009\\u0001\\u001f\","
              "\"\xe3\x83\x88\xe3\x83\x83\xe3\x83\x97\xe3\x83\x9a\xe3\x83\xbc\xe3\x82\xb8\","
              "\"\xf0\x9f\x98\x80\",\"\xef\xbf\xbdx\"]");
}

TEST(DriverProtocol, BytesBecomeOneCharacterEach) {
    JsonWriter w;
    w.Bytes(std::string("a\0\x82\xa0\"", 5));
    // 0x82 and 0xA0 as U+0082 and U+00A0 in UTF-8; the zero byte escaped.
    EXPECT_EQ(w.Text(), "\"a\\u0000\xc2\x82\xc2\xa0\\\"\"");
}

}  // namespace
}  // namespace tthost
