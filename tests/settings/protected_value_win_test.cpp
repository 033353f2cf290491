// The protected password on the real registry and Windows data protection.
#include "settings/protected_value.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include "settings/registry_scratch_win.h"

namespace tt::testing {
namespace {

const std::wstring kKey = L"Software\\Tavelle\\TavelleToolbar";

// 64 characters, 17 of them outside ASCII (one surrogate pair counts as two).
const std::u16string kPassword =
    u"\u30d1\u30b9\u30ef\u30fc\u30c9\u00e4\u00f6\u00fc\u00df\U0001F511"
    u"\u5bc6\u78bc\u0416\u0436\u05d0\u0627"
    u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU";

// What Windows data protection itself makes of a stored blob: plain bytes and description.
struct Unprotected {
    bool ok = false;
    std::vector<BYTE> plain;
    std::wstring description;
};

Unprotected UnprotectDirectly(const std::vector<BYTE>& blob) {
    Unprotected u;
    DATA_BLOB in{static_cast<DWORD>(blob.size()), const_cast<BYTE*>(blob.data())};
    DATA_BLOB out{};
    LPWSTR description = nullptr;
    if (!CryptUnprotectData(&in, &description, nullptr, nullptr, nullptr, 0, &out)) return u;
    unique_hlocal ownPlain(out.pbData);
    unique_hlocal ownDescription(description);
    u.ok = true;
    u.plain.assign(out.pbData, out.pbData + out.cbData);
    u.description = description ? description : L"<null>";
    return u;
}

class ProtectedValueWinTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.ok()); }
    CScratchRegistry scratch{L"Password"};
};

TEST_F(ProtectedValueWinTest, PasswordRoundTripsAsAProtectedBinaryValue) {
    ASSERT_EQ(kPassword.size(), 64u);
    StoreProtectedValue(scratch, DefaultProtector(), u"UserPassword", kPassword, u"");

    RegValue v = ReadRegValue(scratch.root(), kKey, L"UserPassword");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY));
    Unprotected direct = UnprotectDirectly(v.data);
    ASSERT_TRUE(direct.ok);
    // The protected bytes are the text and its terminator; the description is empty.
    EXPECT_EQ(direct.plain, RegTextBytes(std::wstring(kPassword.begin(), kPassword.end())));
    EXPECT_EQ(direct.description, L"");
    // No plain text in the stored bytes.
    const std::vector<BYTE> plain = RegTextBytes(L"abcdefghijklmnop");
    EXPECT_EQ(std::search(v.data.begin(), v.data.end(), plain.begin(), plain.end() - 2), v.data.end());
    EXPECT_EQ(RegCounts(scratch.root(), kKey), std::make_pair(1, 0)) << "only the value, no subkey";

    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), kPassword);
}

TEST_F(ProtectedValueWinTest, EmptyPasswordIsANonEmptyBlob) {
    StoreProtectedValue(scratch, DefaultProtector(), u"UserPassword", u"", u"");
    RegValue v = ReadRegValue(scratch.root(), kKey, L"UserPassword");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_GT(v.data.size(), 2u);
    Unprotected direct = UnprotectDirectly(v.data);
    ASSERT_TRUE(direct.ok);
    EXPECT_EQ(direct.plain, (std::vector<BYTE>{0, 0}));
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");
}

TEST_F(ProtectedValueWinTest, TextValueAndDamagedBlobsLoadEmpty) {
    const std::vector<uint8_t> blob = ProtectText(u"secret", u"", 0);
    ASSERT_FALSE(blob.empty());
    ASSERT_EQ(UnprotectText(blob, 0), u"secret");

    auto write = [&](DWORD type, const std::vector<uint8_t>& data) {
        unique_hkey key;
        ASSERT_EQ(RegCreateKeyExW(scratch.root(), kKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExW(key.get(), L"UserPassword", 0, type, data.data(), static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
    };

    write(REG_SZ, RegTextBytes(L"secret"));
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");
    write(REG_SZ, blob);  // the right bytes under the wrong type
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");
    write(REG_BINARY, {});
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");

    std::vector<uint8_t> damaged = blob;
    damaged[damaged.size() - 8] ^= 0x55;
    write(REG_BINARY, damaged);
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");
    std::vector<uint8_t> cut(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(blob.size() / 2));
    write(REG_BINARY, cut);
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");
    write(REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");

    write(REG_BINARY, blob);
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"secret");
}

TEST_F(ProtectedValueWinTest, LoadingCreatesAMissingKeyAndDeniedKeysGiveNothing) {
    EXPECT_EQ(RegCounts(scratch.root(), kKey), std::make_pair(-1, -1));
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");
    EXPECT_EQ(RegCounts(scratch.root(), kKey), std::make_pair(0, 0));

    StoreProtectedValue(scratch, DefaultProtector(), u"UserPassword", u"old", u"");
    ASSERT_TRUE(scratch.SetDacl(kKey, L"D:(A;;KR;;;WD)"));
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"");
    StoreProtectedValue(scratch, DefaultProtector(), u"UserPassword", u"new", u"");
    ASSERT_TRUE(scratch.SetDacl(kKey, L"D:(A;;KA;;;WD)"));
    EXPECT_EQ(LoadProtectedValue(scratch, DefaultProtector(), u"UserPassword"), u"old");
}

TEST(ProtectedValueOnTheUsersHive, DefaultFunctionsUseHkcu) {
    CScratchRegistry::RemoveTree(HKEY_CURRENT_USER, L"Software\\Tavelle");
    StoreProtectedValue(u"UserPassword", kPassword, u"");
    EXPECT_EQ(ReadRegValue(HKEY_CURRENT_USER, kKey, L"UserPassword").type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(LoadProtectedValue(u"UserPassword"), kPassword);
    CScratchRegistry::RemoveTree(HKEY_CURRENT_USER, L"Software\\Tavelle");
}

}  // namespace
}  // namespace tt::testing
