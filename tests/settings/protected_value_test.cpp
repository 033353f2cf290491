#include "settings/protected_value.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "settings/key_store_memory.h"
#include "settings/settings_test_support.h"
#include "settings/user_bound_protector.h"

namespace tt {
namespace {

using namespace tt::testing;

// Fails every call, as the data protection service may.
class CFailingProtector final : public IDataProtector {
public:
    int calls = 0;
    bool Protect(const std::vector<uint8_t>&, const std::u16string&, uint32_t,
                 std::vector<uint8_t>*) override {
        ++calls;
        return false;
    }
    bool Unprotect(const std::vector<uint8_t>&, uint32_t, std::vector<uint8_t>*) override {
        ++calls;
        return false;
    }
};

// Records what it was given and hands back its input, to check the bytes and parameters.
class CRecordingProtector final : public IDataProtector {
public:
    std::vector<uint8_t> plain;
    std::u16string description = u"unset";
    uint32_t protectFlags = 99;
    uint32_t unprotectFlags = 99;
    std::vector<uint8_t> answer;
    bool Protect(const std::vector<uint8_t>& in, const std::u16string& desc, uint32_t flags,
                 std::vector<uint8_t>* blob) override {
        plain = in;
        description = desc;
        protectFlags = flags;
        *blob = in;
        return true;
    }
    bool Unprotect(const std::vector<uint8_t>& blob, uint32_t flags, std::vector<uint8_t>* out) override {
        unprotectFlags = flags;
        *out = answer.empty() ? blob : answer;
        return true;
    }
};

const std::u16string kPassword64 = u"p\u00e4\u00df\u5bc6\u78bc\U0001F511" + Repeat(u"x", 64 - 9) + u"\u00e9!";

class ProtectedValueTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(store.UnflushedCloses(), 0) << "a written key was closed unflushed";
    }

    CMemoryKeyStore store;
    CUserBoundProtector protector{u"alice"};
};

TEST_F(ProtectedValueTest, PasswordRoundTripsThroughTheSettingsKey) {
    ASSERT_EQ(kPassword64.size(), 64u);
    StoreProtectedValue(store, protector, u"UserPassword", kPassword64, u"");

    Stored stored = ReadStored(store, kSettingsPath, u"UserPassword");
    EXPECT_EQ(stored.type, kRegBinary);
    EXPECT_FALSE(stored.data.empty());
    // Not the plain bytes, and not in the parameters subkey.
    std::vector<uint8_t> plain = TextValueBytes(kPassword64);
    EXPECT_EQ(std::search(stored.data.begin(), stored.data.end(), plain.begin() + 10, plain.begin() + 30),
              stored.data.end());
    EXPECT_EQ(ValueNames(store, Sub(u"Parameters")), (std::vector<std::u16string>{u"<missing>"}));

    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), kPassword64);
}

TEST_F(ProtectedValueTest, ProtectsTheTextWithItsTerminatorAndTheFixedParameters) {
    CRecordingProtector recorder;
    std::vector<uint8_t> blob = ProtectText(recorder, u"ab", u"", 0);
    EXPECT_EQ(recorder.plain, (std::vector<uint8_t>{'a', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(recorder.description, u"");
    EXPECT_EQ(recorder.protectFlags, 0u);

    ProtectText(recorder, u"", u"", 0);
    EXPECT_EQ(recorder.plain, (std::vector<uint8_t>{0, 0}));

    StoreProtectedValue(store, recorder, u"UserPassword", u"pw", u"");
    EXPECT_EQ(recorder.description, u"");
    EXPECT_EQ(recorder.protectFlags, 0u);
    EXPECT_EQ(LoadProtectedValue(store, recorder, u"UserPassword"), u"pw");
    EXPECT_EQ(recorder.unprotectFlags, 0u);

    // The decrypted bytes are read up to the first zero character.
    recorder.answer = {'a', 0, 'b', 0, 0, 0, 'c', 0};
    EXPECT_EQ(UnprotectText(recorder, blob, 0), u"ab");
    recorder.answer = {'a', 0, 'b'};
    EXPECT_EQ(UnprotectText(recorder, blob, 0), u"a");
}

TEST_F(ProtectedValueTest, EmptyPasswordIsStoredAsANonEmptyBlobAndLoadsEmpty) {
    StoreProtectedValue(store, protector, u"UserPassword", u"", u"");
    Stored stored = ReadStored(store, kSettingsPath, u"UserPassword");
    EXPECT_EQ(stored.type, kRegBinary);
    EXPECT_GT(stored.data.size(), 2u);
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"");
}

TEST_F(ProtectedValueTest, BlobsAreBoundToTheirUser) {
    CUserBoundProtector bob(u"bob");
    std::vector<uint8_t> blob = ProtectText(protector, u"secret", u"", 0);
    ASSERT_FALSE(blob.empty());
    EXPECT_EQ(UnprotectText(protector, blob, 0), u"secret");
    EXPECT_EQ(UnprotectText(bob, blob, 0), u"");
    // Same user, another protector object (another process): still readable.
    CUserBoundProtector aliceAgain(u"alice");
    EXPECT_EQ(UnprotectText(aliceAgain, blob, 0), u"secret");

    // A blob copied from another user's registry loads as an empty text.
    Put(store, kSettingsPath, u"UserPassword", kRegBinary, ProtectText(bob, u"bobs", u"", 0));
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"");
}

TEST_F(ProtectedValueTest, DamagedBlobsGiveAnEmptyText) {
    const std::vector<uint8_t> blob = ProtectText(protector, u"secret", u"", 0);
    for (size_t i = 0; i < blob.size(); ++i) {
        std::vector<uint8_t> damaged = blob;
        damaged[i] ^= 0x01;
        EXPECT_EQ(UnprotectText(protector, damaged, 0), u"") << "byte " << i;
    }
    for (size_t n = 0; n < blob.size(); ++n) {
        std::vector<uint8_t> cut(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(UnprotectText(protector, cut, 0), u"") << "length " << n;
    }
    std::vector<uint8_t> longer = blob;
    longer.push_back(0);
    EXPECT_EQ(UnprotectText(protector, longer, 0), u"");
    EXPECT_EQ(UnprotectText(protector, {}, 0), u"");
}

TEST_F(ProtectedValueTest, SameTextProtectsToDifferentBlobs) {
    EXPECT_NE(ProtectText(protector, u"secret", u"", 0), ProtectText(protector, u"secret", u"", 0));
}

TEST_F(ProtectedValueTest, ValueOfAnotherTypeMissingOrEmptyLoadsEmpty) {
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"");
    // Loading creates a missing settings key.
    EXPECT_TRUE(ValueNames(store, kSettingsPath).empty());

    PutText(store, kSettingsPath, u"UserPassword", u"plain");
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"");

    // The right bytes under the wrong type are ignored as well.
    Put(store, kSettingsPath, u"UserPassword", kRegSz, ProtectText(protector, u"secret", u"", 0));
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"");

    Put(store, kSettingsPath, u"UserPassword", kRegBinary, {});
    CFailingProtector failing;
    EXPECT_EQ(LoadProtectedValue(store, failing, u"UserPassword"), u"");
    EXPECT_EQ(failing.calls, 0) << "an empty value is not even unprotected";
}

TEST_F(ProtectedValueTest, ProtectionFailureKeepsTheStoredValue) {
    StoreProtectedValue(store, protector, u"UserPassword", u"old", u"");
    Stored before = ReadStored(store, kSettingsPath, u"UserPassword");

    CFailingProtector failing;
    EXPECT_TRUE(ProtectText(failing, u"new", u"", 0).empty());
    StoreProtectedValue(store, failing, u"UserPassword", u"new", u"");

    EXPECT_EQ(ReadStored(store, kSettingsPath, u"UserPassword"), before);
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"old");
    EXPECT_EQ(LoadProtectedValue(store, failing, u"UserPassword"), u"");
}

TEST_F(ProtectedValueTest, InaccessibleSettingsKeyReadsEmptyAndWritesNothing) {
    StoreProtectedValue(store, protector, u"UserPassword", u"old", u"");
    store.DenyAccess(kSettingsPath);
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"");
    StoreProtectedValue(store, protector, u"UserPassword", u"new", u"");
    store.LimitAccess(kSettingsPath, KeyAccess::All);
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"old");

    // Read-write access without full access still works through the create path.
    store.LimitAccess(kSettingsPath, KeyAccess::ReadWrite);
    StoreProtectedValue(store, protector, u"UserPassword", u"newer", u"");
    EXPECT_EQ(LoadProtectedValue(store, protector, u"UserPassword"), u"newer");

    CMemoryKeyStore cannotCreate;
    cannotCreate.FailCreate(kSettingsPath);
    StoreProtectedValue(cannotCreate, protector, u"UserPassword", u"x", u"");
    EXPECT_EQ(LoadProtectedValue(cannotCreate, protector, u"UserPassword"), u"");
    EXPECT_EQ(ValueNames(cannotCreate, kSettingsPath), (std::vector<std::u16string>{u"<missing>"}));
}

TEST(DefaultProtector, RoundTripsForTheCurrentUser) {
    std::vector<uint8_t> blob = ProtectText(kPassword64, u"", 0);
    ASSERT_FALSE(blob.empty());
    EXPECT_EQ(UnprotectText(blob, 0), kPassword64);
    blob[blob.size() / 2] ^= 0x40;
    EXPECT_EQ(UnprotectText(blob, 0), u"");
}

}  // namespace
}  // namespace tt
