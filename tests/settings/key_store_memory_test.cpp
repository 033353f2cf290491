#include "settings/key_store_memory.h"

#include <gtest/gtest.h>

#include "settings/key_store_contract.h"
#include "settings/settings_test_support.h"

namespace tt::testing {
namespace {

using Names = std::vector<std::u16string>;

std::shared_ptr<IKeyStore> MakeMemoryStore() { return std::make_shared<CMemoryKeyStore>(); }

INSTANTIATE_TEST_SUITE_P(Memory, KeyStoreContract, ::testing::Values(&MakeMemoryStore));

TEST(MemoryKeyStore, EnumeratesValuesInCreationOrderOrSortedByNameLikeWine) {
    CMemoryKeyStore store;
    {
        auto key = store.CreateKey(u"K");
        for (const char16_t* name : {u"2", u"10", u"b", u"1", u"A"}) SetString(*key, name, u"x");
        SetString(*key, u"10", u"rewritten keeps its place");
        key->Flush();
    }
    EXPECT_EQ(ValueNames(store, u"K"), (Names{u"2", u"10", u"b", u"1", u"A"}));
    store.SetSortedEnumeration(true);
    EXPECT_EQ(ValueNames(store, u"K"), (Names{u"1", u"10", u"2", u"A", u"b"}));
}

TEST(MemoryKeyStore, SimulatedAccessLimits) {
    CMemoryKeyStore store;
    store.CreateKey(u"K\\Sub");
    store.LimitAccess(u"k", KeyAccess::ReadWrite);  // paths ignore letter case too

    EXPECT_EQ(store.OpenKey(u"K", KeyAccess::All), nullptr);
    EXPECT_NE(store.OpenKey(u"K", KeyAccess::ReadWrite), nullptr);
    EXPECT_NE(store.CreateKey(u"K"), nullptr);
    // Deleting needs full access to the key being deleted, not to its parent.
    EXPECT_TRUE(store.OpenKey(u"K", KeyAccess::ReadWrite)->DeleteSubkey(u"Sub"));
    store.CreateKey(u"K\\Sub");
    store.LimitAccess(u"K\\Sub", KeyAccess::ReadWrite);
    EXPECT_FALSE(store.OpenKey(u"K", KeyAccess::ReadWrite)->DeleteSubkey(u"Sub"));

    store.LimitAccess(u"K", KeyAccess::Read);
    EXPECT_EQ(store.OpenKey(u"K", KeyAccess::ReadWrite), nullptr);
    EXPECT_EQ(store.CreateKey(u"K"), nullptr);
    EXPECT_NE(store.OpenKey(u"K", KeyAccess::Read), nullptr);

    store.DenyAccess(u"K");
    EXPECT_EQ(store.OpenKey(u"K", KeyAccess::Read), nullptr);
    EXPECT_EQ(store.CreateKey(u"K"), nullptr);

    // Limits apply to keys that do not exist yet.
    store.DenyAccess(u"Later");
    EXPECT_EQ(store.CreateKey(u"Later"), nullptr);
    store.FailCreate(u"Never\\Made");
    EXPECT_EQ(store.CreateKey(u"Never\\Made\\Below"), nullptr);
    EXPECT_NE(store.CreateKey(u"Never\\Other"), nullptr);

    store.Clear();
    EXPECT_NE(store.CreateKey(u"Later"), nullptr);
    EXPECT_NE(store.CreateKey(u"Never\\Made"), nullptr);
}

TEST(MemoryKeyStore, CountsWrittenKeysClosedWithoutAFlush) {
    CMemoryKeyStore store;
    { auto key = store.CreateKey(u"K"); }  // created, nothing written
    EXPECT_EQ(store.UnflushedCloses(), 0);
    {
        auto key = store.CreateKey(u"K");
        SetString(*key, u"v", u"1");
        key->Flush();
    }
    EXPECT_EQ(store.UnflushedCloses(), 0);
    {
        auto key = store.CreateKey(u"K");
        SetString(*key, u"v", u"1");
        key->Flush();
        SetString(*key, u"v", u"2");
    }
    EXPECT_EQ(store.UnflushedCloses(), 1);
    {
        auto key = store.OpenKey(u"K", KeyAccess::All);
        key->DeleteValue(u"v");
    }
    EXPECT_EQ(store.UnflushedCloses(), 2);
}

TEST(MemoryKeyStore, ClearDetachesOpenHandles) {
    CMemoryKeyStore store;
    auto key = store.CreateKey(u"K");
    SetString(*key, u"v", u"1");
    key->Flush();
    store.Clear();
    std::u16string s;
    EXPECT_FALSE(QueryString(*key, u"v", &s));
    EXPECT_FALSE(SetString(*key, u"v", u"2"));
    EXPECT_EQ(store.OpenKey(u"K", KeyAccess::Read), nullptr);
}

TEST(MemoryKeyStore, IsThePlatformStoreOfNativeBuilds) {
#ifndef _WIN32
    EXPECT_NE(dynamic_cast<CMemoryKeyStore*>(&DefaultKeyStore()), nullptr);
#else
    EXPECT_EQ(dynamic_cast<CMemoryKeyStore*>(&DefaultKeyStore()), nullptr);
#endif
}

}  // namespace
}  // namespace tt::testing
