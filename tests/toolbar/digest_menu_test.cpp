#include "toolbar/digest_menu.h"

#include <gtest/gtest.h>

#include "support/utf.h"

namespace tt {
namespace {

std::vector<DigestRecord> Digest(size_t records) {
    std::vector<DigestRecord> digest{{u"header"}};
    for (size_t i = 1; i < records; ++i) {
        const std::u16string n = Utf8ToUtf16(std::to_string(i));
        digest.push_back({u"L" + n, u"?page=P" + n, u"T" + n});
    }
    return digest;
}

std::vector<unsigned> Ids(const std::vector<MenuEntry>& entries) {
    std::vector<unsigned> ids;
    for (const auto& e : entries) ids.push_back(e.id);
    return ids;
}

TEST(DigestMenu, OneRecordOrNoneShowsNothing) {
    EXPECT_TRUE(DigestMenuEntries({}).empty());
    EXPECT_TRUE(DigestMenuEntries(Digest(1)).empty());
}

TEST(DigestMenu, TwoRecordsShowOneEntry) {
    const auto entries = DigestMenuEntries(Digest(2));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, 230u);
    EXPECT_EQ(entries[0].text, u"L1: T1");
}

TEST(DigestMenu, EightRecordsShowSevenEntriesAndNoMore) {
    EXPECT_EQ(Ids(DigestMenuEntries(Digest(8))), (std::vector<unsigned>{230, 231, 232, 233, 234, 235, 236}));
}

TEST(DigestMenu, NineRecordsOrMoreShowEightEntriesAndTheEllipsis) {
    const std::vector<unsigned> expected{230, 231, 232, 233, 234, 235, 236, 237, 238};
    EXPECT_EQ(Ids(DigestMenuEntries(Digest(9))), expected);
    const auto many = DigestMenuEntries(Digest(30));
    EXPECT_EQ(Ids(many), expected);
    EXPECT_EQ(many[7].text, u"L8: T8");
    EXPECT_EQ(many[8].text, u"...");
}

TEST(DigestMenu, ShortRecordsAreSkippedWithoutShiftingTheOthers) {
    auto digest = Digest(4);
    digest[1] = {u"only label"};
    digest[2] = {u"L2", u"?page=P2"};  // no title
    const auto entries = DigestMenuEntries(digest);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, 232u);  // still record 3's id
    EXPECT_EQ(entries[0].text, u"L3: T3");

    std::u16string query = u"unchanged";
    EXPECT_FALSE(DigestEntryQuery(digest, 1, &query));
    EXPECT_FALSE(DigestEntryQuery(digest, 2, &query));
    EXPECT_EQ(query, u"unchanged");
    EXPECT_TRUE(DigestEntryQuery(digest, 3, &query));
    EXPECT_EQ(query, u"?page=P3");
}

TEST(DigestMenu, EntryQueriesExistOnlyForShownRecords) {
    const auto digest = Digest(3);
    std::u16string query;
    EXPECT_FALSE(DigestEntryQuery(digest, 0, &query));  // the header is never an entry
    EXPECT_TRUE(DigestEntryQuery(digest, 2, &query));
    EXPECT_EQ(query, u"?page=P2");
    EXPECT_FALSE(DigestEntryQuery(digest, 3, &query));
    EXPECT_FALSE(DigestEntryQuery({}, 1, &query));
}

TEST(DigestMenu, ExtraFieldsAreIgnoredAndQuotesKept) {
    std::vector<DigestRecord> digest{{u"h"}, {u"a,b", u"page=Z", u"\"T\"", u"extra"}};
    const auto entries = DigestMenuEntries(digest);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].text, u"a,b: \"T\"");
}

}  // namespace
}  // namespace tt
