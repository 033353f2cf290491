#include "settings/search_history.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "settings/key_store_memory.h"
#include "settings/settings_test_support.h"

namespace tt {
namespace {

using namespace tt::testing;
using List = std::vector<std::u16string>;

class SearchHistoryTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(store.UnflushedCloses(), 0) << "a written key was closed unflushed";
    }

    List Load() {
        List list{u"untouched"};
        LoadMruList(store, u"SearchMRU", list);
        return list;
    }

    CMemoryKeyStore store;
};

TEST_F(SearchHistoryTest, SavedListComesBackInOrderAsNumberedTextValues) {
    const List list{u"\u4f1a\u8b70", u"schedule", u"a b c"};
    SaveMruList(store, u"SearchMRU", list);

    EXPECT_EQ(ValueNames(store, Sub(u"SearchMRU")), (List{u"0", u"1", u"2"}));
    EXPECT_EQ(ReadStored(store, Sub(u"SearchMRU"), u"0"), StoredText(u"\u4f1a\u8b70"));
    EXPECT_EQ(ReadStored(store, Sub(u"SearchMRU"), u"2"), StoredText(u"a b c"));
    EXPECT_EQ(Load(), list);
}

TEST_F(SearchHistoryTest, SaveReplacesTheWholeSubkey) {
    SaveMruList(store, u"SearchMRU", List{u"a", u"b", u"c", u"d"});
    PutText(store, Sub(u"SearchMRU\\Child\\Grandchild"), u"x", u"y");
    PutText(store, Sub(u"SearchMRU"), u"stray", u"s");

    SaveMruList(store, u"SearchMRU", List{u"new"});

    EXPECT_EQ(ValueNames(store, Sub(u"SearchMRU")), (List{u"0"}));
    EXPECT_TRUE(SubkeyNames(store, Sub(u"SearchMRU")).empty());
    EXPECT_EQ(Load(), (List{u"new"}));
}

TEST_F(SearchHistoryTest, EmptyListLeavesAnEmptySubkey) {
    SaveMruList(store, u"SearchMRU", List{u"a"});
    SaveMruList(store, u"SearchMRU", List{});
    EXPECT_TRUE(ValueNames(store, Sub(u"SearchMRU")).empty());
    EXPECT_TRUE(Load().empty());
}

TEST_F(SearchHistoryTest, OrderFollowsTheNumericNamesWhateverTheEnumerationOrder) {
    List forty;
    for (size_t i = 0; i < 40; ++i) forty.push_back(u"query " + Decimal(i));
    for (bool sorted : {false, true}) {
        store.SetSortedEnumeration(sorted);  // Wine gives 0, 1, 10, 11, ...
        SaveMruList(store, u"SearchMRU", forty);
        EXPECT_EQ(Load(), forty) << "sorted " << sorted;
    }

    // Written by hand out of order, with names that are not numbers after the numbered ones.
    store.SetSortedEnumeration(false);
    DeleteMruList(store, u"SearchMRU");
    PutText(store, Sub(u"SearchMRU"), u"zeta", u"Z");
    PutText(store, Sub(u"SearchMRU"), u"10", u"ten");
    PutText(store, Sub(u"SearchMRU"), u"2", u"two");
    PutText(store, Sub(u"SearchMRU"), u"alpha", u"A");
    PutText(store, Sub(u"SearchMRU"), u"007", u"seven");
    PutText(store, Sub(u"SearchMRU"), u"-1", u"minus");
    PutText(store, Sub(u"SearchMRU"), u"0", u"zero");
    PutText(store, Sub(u"SearchMRU"), u"99999999999999999999", u"huge");
    EXPECT_EQ(Load(), (List{u"zero", u"two", u"seven", u"ten", u"huge", u"Z", u"A", u"minus"}));
}

TEST_F(SearchHistoryTest, LongEntriesAndLongNamesAreLoadedWhole) {
    const std::u16string query = Repeat(u"\u691c", 2048);
    PutText(store, Sub(u"SearchMRU"), u"0", u"first");
    PutText(store, Sub(u"SearchMRU"), u"1", query);
    PutText(store, Sub(u"SearchMRU"), u"2", Repeat(u"x", 260));
    PutText(store, Sub(u"SearchMRU"), Repeat(u"n", 300), u"long-named");
    PutText(store, Sub(u"SearchMRU"), u"3", u"last");

    List list = Load();

    EXPECT_EQ(list, (List{u"first", query, Repeat(u"x", 260), u"last", u"long-named"}));
    SaveMruList(store, u"SearchMRU", list);
    EXPECT_EQ(Load(), list);
    EXPECT_EQ(ReadStored(store, Sub(u"SearchMRU"), u"1"), StoredText(query));
}

TEST_F(SearchHistoryTest, ValuesOfAnyTypeReadAsTextUpToTheFirstZero) {
    Put(store, Sub(u"SearchMRU"), u"0", kRegBinary, TextValueBytes(u"bin"));
    Put(store, Sub(u"SearchMRU"), u"1", kRegSz, {'a', 0, 0, 0, 'b', 0});
    Put(store, Sub(u"SearchMRU"), u"2", kRegSz, {'o', 0, 'd'});
    Put(store, Sub(u"SearchMRU"), u"3", kRegDword, {0, 0, 0, 0});
    EXPECT_EQ(Load(), (List{u"bin", u"a", u"o", u""}));
}

TEST_F(SearchHistoryTest, LoadWithoutSettingsKeyLeavesTheListAndWithoutSubkeyEmptiesIt) {
    EXPECT_EQ(Load(), (List{u"untouched"}));
    EXPECT_EQ(ValueNames(store, kSettingsPath), (List{u"<missing>"})) << "loading creates nothing";

    PutDword(store, kSettingsPath, u"Initialized", 1);
    EXPECT_TRUE(Load().empty());

    // A key that denies reading behaves as a missing one.
    SaveMruList(store, u"SearchMRU", List{u"a"});
    store.DenyAccess(kSettingsPath);
    EXPECT_EQ(Load(), (List{u"untouched"}));
}

TEST_F(SearchHistoryTest, LoadNeedsOnlyReadAccess) {
    SaveMruList(store, u"SearchMRU", List{u"a", u"b"});
    store.LimitAccess(kSettingsPath, KeyAccess::Read);
    EXPECT_EQ(Load(), (List{u"a", u"b"}));
    store.LimitAccess(Sub(u"SearchMRU"), KeyAccess::Read);
    EXPECT_EQ(Load(), (List{u"a", u"b"}));
}

TEST_F(SearchHistoryTest, DeleteRemovesTheSubkeyAndAMissingOneIsNoError) {
    SaveMruList(store, u"SearchMRU", List{u"a", u"b"});
    PutText(store, Sub(u"SearchMRU\\Below"), u"x", u"y");
    PutText(store, Sub(u"Parameters"), u"Username", u"keep");

    DeleteMruList(store, u"SearchMRU");

    EXPECT_EQ(SubkeyNames(store, kSettingsPath), (List{u"Parameters"}));
    EXPECT_TRUE(Load().empty());
    DeleteMruList(store, u"SearchMRU");
    EXPECT_EQ(SubkeyNames(store, kSettingsPath), (List{u"Parameters"}));
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Username"), StoredText(u"keep"));

    // After a clear the first save writes a history of one entry.
    SaveMruList(store, u"SearchMRU", List{u"only"});
    EXPECT_EQ(Load(), (List{u"only"}));
}

TEST_F(SearchHistoryTest, DeleteCreatesAMissingSettingsKey) {
    DeleteMruList(store, u"SearchMRU");
    EXPECT_TRUE(ValueNames(store, kSettingsPath).empty());
    EXPECT_TRUE(SubkeyNames(store, kSettingsPath).empty());
}

TEST_F(SearchHistoryTest, UnwritableKeysLoseNothingElseAndShowNothing) {
    SaveMruList(store, u"SearchMRU", List{u"old"});

    // The settings key neither opens nor can be created: nothing changes.
    store.DenyAccess(kSettingsPath);
    SaveMruList(store, u"SearchMRU", List{u"new"});
    DeleteMruList(store, u"SearchMRU");
    store.LimitAccess(kSettingsPath, KeyAccess::All);
    EXPECT_EQ(Load(), (List{u"old"}));

    // A stored history is written in place; one that was deleted and cannot be created again
    // stays absent.
    store.FailCreate(Sub(u"SearchMRU"));
    SaveMruList(store, u"SearchMRU", List{u"new", u"old"});
    EXPECT_EQ(Load(), (List{u"new", u"old"}));
    DeleteMruList(store, u"SearchMRU");
    SaveMruList(store, u"SearchMRU", List{u"new"});
    EXPECT_EQ(SubkeyNames(store, kSettingsPath), (List{}));
    EXPECT_TRUE(Load().empty());
}

TEST_F(SearchHistoryTest, ARewriteShowsEveryOlderEntryAtEveryStepAndKeepsTheOrderOfCreation) {
    // Each step of a save as a reader of the store sees it: the entries below the new top
    // (the query just searched) are all there, whether the list grows or an entry moves up.
    auto save = [&](const List& before, const List& after) {
        SaveMruList(store, u"SearchMRU", before);
        std::vector<List> seen;  // read past the lock of the saves, as another process would
        CObservedKeyStore observed(store, [&] {
            List texts;
            KeyValue v;
            if (auto key = store.OpenKey(Sub(u"SearchMRU"), KeyAccess::Read))
                for (uint32_t i = 0; key->EnumValue(i, &v); ++i) texts.push_back(TextFromValueBytes(v.data));
            seen.push_back(texts);
        });
        SaveMruList(observed, u"SearchMRU", after);
        EXPECT_FALSE(seen.empty());
        for (const List& view : seen)
            for (size_t i = 1; i < after.size(); ++i)
                EXPECT_NE(std::find(view.begin(), view.end(), after[i]), view.end())
                    << "a reader missed " << i;
        EXPECT_EQ(Load(), after);
    };
    save({u"b", u"c", u"d"}, {u"a", u"b", u"c", u"d"});
    save({u"a", u"b", u"c", u"d"}, {u"c", u"a", u"b", u"d"});
    save({u"a", u"b", u"c", u"d"}, {u"c", u"a", u"b"});
    EXPECT_EQ(ValueNames(store, Sub(u"SearchMRU")), (List{u"0", u"1", u"2"}));
}

TEST_F(SearchHistoryTest, AnEmptySubkeyNameNeverTouchesTheSettingsKeyItself) {
    PutDword(store, kSettingsPath, u"Initialized", 1);
    PutText(store, Sub(u"Parameters"), u"Username", u"keep");

    SaveMruList(store, u"", List{u"a"});
    DeleteMruList(store, u"");
    List list{u"untouched"};
    LoadMruList(store, u"", list);

    EXPECT_EQ(list, (List{u"untouched"}));
    EXPECT_EQ(ValueNames(store, kSettingsPath), (List{u"Initialized"}));
    EXPECT_EQ(ReadStored(store, Sub(u"Parameters"), u"Username"), StoredText(u"keep"));
}

}  // namespace
}  // namespace tt
