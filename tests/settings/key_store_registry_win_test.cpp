#include "settings/key_store_registry_win.h"

#include <gtest/gtest.h>

#include "settings/key_store_contract.h"
#include "settings/registry_scratch_win.h"
#include "settings/settings_test_support.h"

namespace tt::testing {
namespace {

std::shared_ptr<IKeyStore> MakeRegistryStore() {
    auto scratch = std::make_shared<CScratchRegistry>(L"Contract");
    return scratch->ok() ? scratch : nullptr;
}

INSTANTIATE_TEST_SUITE_P(Registry, KeyStoreContract, ::testing::Values(&MakeRegistryStore));

TEST(RegistryKeyStore, DaclOfTheKeyDecidesWhichOpensSucceed) {
    CScratchRegistry scratch(L"Dacl");
    ASSERT_TRUE(scratch.ok());
    {
        auto key = scratch.CreateKey(u"K\\Sub");
        ASSERT_NE(key, nullptr);
        SetString(*key, u"v", u"1");
        key->Flush();
    }
    ASSERT_TRUE(scratch.SetDacl(L"K", L"D:(A;;KR;;;WD)"));  // everyone may read, nothing else
    EXPECT_EQ(scratch.OpenKey(u"K", KeyAccess::All), nullptr);
    EXPECT_EQ(scratch.OpenKey(u"K", KeyAccess::ReadWrite), nullptr);
    EXPECT_EQ(scratch.CreateKey(u"K"), nullptr);
    EXPECT_NE(scratch.OpenKey(u"K", KeyAccess::Read), nullptr);

    ASSERT_TRUE(scratch.SetDacl(L"K", L"D:(A;;KRKW;;;WD)"));  // read and write, no delete
    EXPECT_EQ(scratch.OpenKey(u"K", KeyAccess::All), nullptr);
    EXPECT_NE(scratch.CreateKey(u"K"), nullptr);

    ASSERT_TRUE(scratch.SetDacl(L"K", L"D:(D;;KA;;;WD)"));  // everything denied
    EXPECT_EQ(scratch.OpenKey(u"K", KeyAccess::Read), nullptr);
    EXPECT_EQ(scratch.CreateKey(u"K"), nullptr);
}

}  // namespace
}  // namespace tt::testing
