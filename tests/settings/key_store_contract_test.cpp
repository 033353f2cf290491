#include "settings/key_store_contract.h"

#include <algorithm>
#include <set>

#include "settings/settings_test_support.h"

namespace tt::testing {
namespace {

using Names = std::vector<std::u16string>;

std::set<std::u16string> AsSet(const Names& names) {
    return std::set<std::u16string>(names.begin(), names.end());
}

TEST_P(KeyStoreContract, OpenFailsForAMissingKeyAndCreateMakesItWithItsParents) {
    EXPECT_EQ(store->OpenKey(u"A\\B\\C", KeyAccess::Read), nullptr);
    EXPECT_EQ(store->OpenKey(u"A\\B\\C", KeyAccess::All), nullptr);
    {
        auto created = store->CreateKey(u"A\\B\\C");
        ASSERT_NE(created, nullptr);
        EXPECT_TRUE(SetDword(*created, u"v", 5));
        EXPECT_TRUE(created->Flush());
    }
    EXPECT_NE(store->OpenKey(u"A", KeyAccess::All), nullptr);
    EXPECT_NE(store->OpenKey(u"A\\B", KeyAccess::ReadWrite), nullptr);
    // Creating an existing key opens it with its values.
    auto again = store->CreateKey(u"A\\B\\C");
    ASSERT_NE(again, nullptr);
    uint32_t v = 0;
    EXPECT_TRUE(QueryDword(*again, u"v", &v));
    EXPECT_EQ(v, 5u);
    // Key names ignore letter case.
    EXPECT_NE(store->OpenKey(u"a\\b\\c", KeyAccess::Read), nullptr);
}

TEST_P(KeyStoreContract, ValuesKeepTheirTypeAndRawBytes) {
    auto key = store->CreateKey(u"K");
    ASSERT_NE(key, nullptr);
    const std::vector<uint8_t> odd{1, 2, 3};
    EXPECT_TRUE(key->SetValue(u"sz", kRegSz, TextValueBytes(u"\u3042b")));
    EXPECT_TRUE(key->SetValue(u"expand", kRegExpandSz, TextValueBytes(u"%TEMP%")));
    EXPECT_TRUE(key->SetValue(u"bin", kRegBinary, odd));
    EXPECT_TRUE(key->SetValue(u"empty", kRegBinary, {}));
    EXPECT_TRUE(key->SetValue(u"dword", kRegDword, DwordValueBytes(0xA1B2C3D4)));
    EXPECT_TRUE(key->SetValue(u"unterminated", kRegSz, {'x', 0}));
    key->Flush();

    uint32_t type = 0;
    std::vector<uint8_t> data;
    ASSERT_TRUE(key->QueryValue(u"sz", &type, &data));
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(data, (std::vector<uint8_t>{0x42, 0x30, 'b', 0, 0, 0}));
    ASSERT_TRUE(key->QueryValue(u"expand", &type, &data));
    EXPECT_EQ(type, kRegExpandSz);
    EXPECT_EQ(data, TextValueBytes(u"%TEMP%"));
    ASSERT_TRUE(key->QueryValue(u"bin", &type, &data));
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(data, odd);
    ASSERT_TRUE(key->QueryValue(u"empty", &type, &data));
    EXPECT_TRUE(data.empty());
    ASSERT_TRUE(key->QueryValue(u"DWORD", &type, &data));  // value names ignore letter case
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(data, (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
    ASSERT_TRUE(key->QueryValue(u"unterminated", &type, &data));
    EXPECT_EQ(data, (std::vector<uint8_t>{'x', 0}));
    EXPECT_FALSE(key->QueryValue(u"missing", &type, &data));

    // Rewriting a value may change its type; deleting removes it.
    EXPECT_TRUE(key->SetValue(u"bin", kRegSz, TextValueBytes(u"t")));
    ASSERT_TRUE(key->QueryValue(u"bin", &type, &data));
    EXPECT_EQ(type, kRegSz);
    EXPECT_TRUE(key->DeleteValue(u"bin"));
    EXPECT_FALSE(key->QueryValue(u"bin", &type, &data));
    EXPECT_FALSE(key->DeleteValue(u"bin"));
    key->Flush();
}

TEST_P(KeyStoreContract, TypedReadsTreatOtherTypesAndSizesAsAbsent) {
    auto key = store->CreateKey(u"K");
    ASSERT_NE(key, nullptr);
    key->SetValue(u"dword", kRegDword, DwordValueBytes(7));
    key->SetValue(u"short", kRegDword, {7, 0});
    key->SetValue(u"binary4", kRegBinary, DwordValueBytes(7));
    key->SetValue(u"text", kRegSz, TextValueBytes(u"v1"));
    key->SetValue(u"expand", kRegExpandSz, TextValueBytes(u"v2"));
    key->SetValue(u"open", kRegSz, {'v', 0});
    key->SetValue(u"odd", kRegSz, {'v', 0, 0});
    key->SetValue(u"none", kRegSz, {});
    key->Flush();

    uint32_t n = 0;
    EXPECT_TRUE(QueryDword(*key, u"dword", &n));
    EXPECT_EQ(n, 7u);
    EXPECT_FALSE(QueryDword(*key, u"short", &n));
    EXPECT_FALSE(QueryDword(*key, u"binary4", &n));
    EXPECT_FALSE(QueryDword(*key, u"text", &n));
    EXPECT_FALSE(QueryDword(*key, u"missing", &n));

    std::u16string s;
    EXPECT_TRUE(QueryString(*key, u"text", &s));
    EXPECT_EQ(s, u"v1");
    EXPECT_TRUE(QueryString(*key, u"expand", &s));
    EXPECT_EQ(s, u"v2");
    // Without a terminator the text ends with its bytes.
    EXPECT_TRUE(QueryString(*key, u"open", &s));
    EXPECT_EQ(s, u"v");
    EXPECT_TRUE(QueryString(*key, u"odd", &s));
    EXPECT_EQ(s, u"v");
    EXPECT_TRUE(QueryString(*key, u"none", &s));
    EXPECT_EQ(s, u"");
    s = u"kept";
    EXPECT_FALSE(QueryString(*key, u"dword", &s));
    EXPECT_FALSE(QueryString(*key, u"missing", &s));
    EXPECT_EQ(s, u"kept");
}

TEST_P(KeyStoreContract, EnumerationReturnsEveryValueWholeAndThenEnds) {
    auto key = store->CreateKey(u"K");
    ASSERT_NE(key, nullptr);
    const std::u16string longName = Repeat(u"\u540d", 1000);
    const std::u16string bigText = Repeat(u"big ", 30000);
    SetString(*key, u"b", u"1");
    SetString(*key, longName, u"long name");
    SetString(*key, u"a", bigText);
    SetDword(*key, u"c", 3);
    key->Flush();

    Names names;
    KeyValue v;
    uint32_t i = 0;
    for (; key->EnumValue(i, &v); ++i) {
        names.push_back(v.name);
        if (v.name == longName) {
            EXPECT_EQ(v.data, TextValueBytes(u"long name"));
        } else if (v.name == u"a") {
            EXPECT_EQ(v.data, TextValueBytes(bigText));
        } else if (v.name == u"c") {
            EXPECT_EQ(v.type, kRegDword);
        }
    }
    EXPECT_EQ(i, 4u);
    EXPECT_EQ(AsSet(names), (std::set<std::u16string>{u"a", u"b", u"c", longName}));
    EXPECT_FALSE(key->EnumValue(4, &v));
    EXPECT_FALSE(key->EnumValue(1000, &v));
}

TEST_P(KeyStoreContract, KeyOpenedForReadingCannotWrite) {
    {
        auto key = store->CreateKey(u"K");
        ASSERT_NE(key, nullptr);
        SetString(*key, u"v", u"1");
        key->Flush();
    }
    auto reader = store->OpenKey(u"K", KeyAccess::Read);
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(SetString(*reader, u"v", u"2"));
    EXPECT_FALSE(SetString(*reader, u"w", u"2"));
    EXPECT_FALSE(reader->DeleteValue(u"v"));
    std::u16string s;
    EXPECT_TRUE(QueryString(*reader, u"v", &s));
    EXPECT_EQ(s, u"1");
}

TEST_P(KeyStoreContract, KeyWithSubkeysIsDeletedOnlyDepthFirst) {
    {
        auto key = store->CreateKey(u"Root\\List\\Child\\Grandchild");
        ASSERT_NE(key, nullptr);
        SetString(*key, u"v", u"1");
        key->Flush();
        auto sibling = store->CreateKey(u"Root\\List\\Sibling");
        ASSERT_NE(sibling, nullptr);
        auto other = store->CreateKey(u"Root\\Other");
        ASSERT_NE(other, nullptr);
    }
    auto root = store->OpenKey(u"Root", KeyAccess::All);
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(root->DeleteSubkey(u"List")) << "a key with subkeys is not deleted";
    EXPECT_EQ(AsSet(SubkeyNames(*store, u"Root")), (std::set<std::u16string>{u"List", u"Other"}));

    DeleteKeyTree(*root, u"List");

    EXPECT_EQ(SubkeyNames(*store, u"Root"), (Names{u"Other"}));
    EXPECT_EQ(store->OpenKey(u"Root\\List", KeyAccess::Read), nullptr);
    DeleteKeyTree(*root, u"List");  // missing: nothing happens
    DeleteKeyTree(*root, u"");      // never the key itself
    EXPECT_EQ(SubkeyNames(*store, u"Root"), (Names{u"Other"}));
    root->Flush();
}

TEST_P(KeyStoreContract, DeleteKeyTreeHandlesManySubkeys) {
    for (int i = 0; i < 30; ++i) {
        auto key = store->CreateKey(u"Root\\List\\k" + Decimal(static_cast<size_t>(i)) + u"\\inner");
        ASSERT_NE(key, nullptr);
    }
    auto root = store->OpenKey(u"Root", KeyAccess::All);
    ASSERT_NE(root, nullptr);
    DeleteKeyTree(*root, u"List");
    EXPECT_TRUE(SubkeyNames(*store, u"Root").empty());
}

TEST_P(KeyStoreContract, HandleOfADeletedKeyFails) {
    {
        auto key = store->CreateKey(u"Root\\Gone");
        ASSERT_NE(key, nullptr);
        SetString(*key, u"v", u"1");
        key->Flush();
    }
    auto gone = store->OpenKey(u"Root\\Gone", KeyAccess::ReadWrite);
    ASSERT_NE(gone, nullptr);
    auto root = store->OpenKey(u"Root", KeyAccess::All);
    ASSERT_NE(root, nullptr);
    ASSERT_TRUE(root->DeleteSubkey(u"Gone"));
    std::u16string s;
    EXPECT_FALSE(QueryString(*gone, u"v", &s));
    EXPECT_FALSE(SetString(*gone, u"w", u"2"));
    // A key created anew under the same name is another key.
    auto fresh = store->CreateKey(u"Root\\Gone");
    ASSERT_NE(fresh, nullptr);
    EXPECT_FALSE(QueryString(*fresh, u"v", &s));
    root->Flush();
}

}  // namespace
}  // namespace tt::testing
