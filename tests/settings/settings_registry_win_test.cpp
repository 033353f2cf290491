// The settings record, the search history and their failure paths on the real registry.
#include <gtest/gtest.h>

#include "settings/registry_scratch_win.h"
#include "settings/search_history.h"
#include "settings/settings_test_support.h"
#include "settings/toolbar_settings.h"

namespace tt::testing {
namespace {

const std::wstring kKey = L"Software\\Tavelle\\TavelleToolbar";
const std::wstring kParams = kKey + L"\\Parameters";
const std::wstring kSites = kKey + L"\\EnableSites";
const std::wstring kMru = kKey + L"\\SearchMRU";

std::vector<BYTE> DwordBytes(DWORD v) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&v);
    return std::vector<BYTE>(p, p + 4);
}

void RegPut(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
            const std::vector<BYTE>& data) {
    unique_hkey key;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
}

class SettingsRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.ok());
        clock.Set(2008, 3, 5, 14, 30);
    }
    CScratchRegistry scratch{L"Settings"};
    FakeClock clock;
};

TEST_F(SettingsRegistryTest, FirstRunLeavesExactlyTheDefaultLayout) {
    CToolbarSettings settings(scratch, clock);
    settings.Load(false);

    EXPECT_TRUE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
    EXPECT_EQ(RegCounts(scratch.root(), kKey), std::make_pair(4, 2));
    RegValue v = ReadRegValue(scratch.root(), kKey, L"Initialized");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(v.data, DwordBytes(1));
    v = ReadRegValue(scratch.root(), kKey, L"LastExecute");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(v.data, DwordBytes(2008030514));
    v = ReadRegValue(scratch.root(), kKey, L"NoCheckVersion");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v.data, (std::vector<BYTE>{0, 0}));
    v = ReadRegValue(scratch.root(), kKey, L"EnableAsDefault");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(v.data, DwordBytes(1));
    EXPECT_EQ(RegCounts(scratch.root(), kSites), std::make_pair(0, 0));
    EXPECT_EQ(RegCounts(scratch.root(), kParams), std::make_pair(0, 0));

    settings.Set(u"Username", u"\u5c71\u7530");
    settings.Set(u"AutoLogin", u"Yes");
    EXPECT_EQ(settings.Get(u"TavelleUrl"), u"");
    settings.Save(true);
    EXPECT_EQ(RegCounts(scratch.root(), kParams), std::make_pair(3, 0));
    v = ReadRegValue(scratch.root(), kParams, L"Username");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v.data, RegTextBytes(L"\u5c71\u7530"));
    EXPECT_EQ(ReadRegValue(scratch.root(), kParams, L"TavelleUrl").data, RegTextBytes(L""));
    EXPECT_EQ(ReadRegValue(scratch.root(), kParams, L"AutoLogin").data, RegTextBytes(L"Yes"));
}

TEST_F(SettingsRegistryTest, LongEntriesAndUnknownOnesSurviveLoadAndSave) {
    const std::wstring url = L"http://groupware.example/" + std::wstring(2084 - 32, L'u') + L"/ag.cgi";
    ASSERT_EQ(url.size(), 2084u);
    const std::wstring longName(300, L'N');
    RegPut(scratch.root(), kKey, L"Initialized", REG_DWORD, DwordBytes(1));
    RegPut(scratch.root(), kKey, L"LastExecute", REG_DWORD, DwordBytes(2008030409));
    RegPut(scratch.root(), kParams, L"A-first", REG_SZ, RegTextBytes(L"1"));
    RegPut(scratch.root(), kParams, L"TavelleUrl", REG_SZ, RegTextBytes(url));
    RegPut(scratch.root(), kParams, longName, REG_SZ, RegTextBytes(L"long name"));
    RegPut(scratch.root(), kParams, L"Binary", REG_BINARY, RegTextBytes(L"bin"));
    RegPut(scratch.root(), kParams, L"Z-last", REG_EXPAND_SZ, RegTextBytes(L"%PATH%"));
    RegPut(scratch.root(), kSites, std::wstring(400, L's'), REG_BINARY, std::vector<BYTE>(16, 1));
    RegPut(scratch.root(), kSites, L"zzz", REG_DWORD, DwordBytes(0));

    CToolbarSettings settings(scratch, clock);
    settings.Load(false);
    settings.Load(false);

    EXPECT_FALSE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
    EXPECT_EQ(settings.GetServerUrl(), std::u16string(url.begin(), url.end()));
    EXPECT_EQ(settings.Parameters().size(), 5u);
    EXPECT_EQ(settings.EnableSites().size(), 2u);
    EXPECT_EQ(RegCounts(scratch.root(), kParams), std::make_pair(5, 0));
    EXPECT_EQ(ReadRegValue(scratch.root(), kParams, L"TavelleUrl").data, RegTextBytes(url));
    EXPECT_EQ(ReadRegValue(scratch.root(), kParams, longName).data, RegTextBytes(L"long name"));
    RegValue v = ReadRegValue(scratch.root(), kParams, L"Binary");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v.data, RegTextBytes(L"bin"));
    v = ReadRegValue(scratch.root(), kParams, L"Z-last");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v.data, RegTextBytes(L"%PATH%"));
    v = ReadRegValue(scratch.root(), kSites, std::wstring(400, L's'));
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(v.data, DwordBytes(1));
    EXPECT_EQ(ReadRegValue(scratch.root(), kKey, L"LastExecute").data, DwordBytes(2008030514));
}

TEST_F(SettingsRegistryTest, InitializedStoredAsTextCountsAsAbsent) {
    RegPut(scratch.root(), kKey, L"Initialized", REG_SZ, RegTextBytes(L"1"));
    RegPut(scratch.root(), kKey, L"LastExecute", REG_DWORD, DwordBytes(2008030514));
    CToolbarSettings settings(scratch, clock);
    settings.Load(false);
    EXPECT_TRUE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
    RegValue v = ReadRegValue(scratch.root(), kKey, L"Initialized");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(SettingsRegistryTest, FortyEntryHistoryWrittenByHandSurvivesLoadAndSave) {
    std::vector<std::u16string> expected;
    for (int i = 0; i < 40; ++i) {
        std::wstring text =
            L"\u691c\u7d22 " + std::to_wstring(i) + L" " + std::wstring(i == 7 ? 2048 - 5 : 0, L'q');
        RegPut(scratch.root(), kMru, std::to_wstring(i), REG_SZ, RegTextBytes(text));
        expected.emplace_back(text.begin(), text.end());
    }
    ASSERT_EQ(expected[7].size(), 2048u);

    std::vector<std::u16string> list;
    LoadMruList(scratch, u"SearchMRU", list);
    EXPECT_EQ(list, expected);

    SaveMruList(scratch, u"SearchMRU", list);
    EXPECT_EQ(RegCounts(scratch.root(), kMru), std::make_pair(40, 0));
    for (int i = 0; i < 40; ++i) {
        RegValue v = ReadRegValue(scratch.root(), kMru, std::to_wstring(i));
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << i;
        const std::u16string& text = expected[static_cast<size_t>(i)];
        EXPECT_EQ(v.data, RegTextBytes(std::wstring(text.begin(), text.end()))) << i;
    }
    std::vector<std::u16string> again;
    LoadMruList(scratch, u"SearchMRU", again);
    EXPECT_EQ(again, expected);

    DeleteMruList(scratch, u"SearchMRU");
    EXPECT_EQ(RegCounts(scratch.root(), kMru), std::make_pair(-1, -1));
    again = {u"x"};
    LoadMruList(scratch, u"SearchMRU", again);
    EXPECT_TRUE(again.empty());
}

TEST_F(SettingsRegistryTest, ReadOnlySettingsKeyIsReadAndNothingIsWritten) {
    CToolbarSettings earlier(scratch, clock);
    earlier.Load(false);
    earlier.Set(u"Username", u"yamada");
    earlier.Set(u"TavelleUrl", u"http://gw/ag.cgi");
    earlier.Save(false);
    SaveMruList(scratch, u"SearchMRU", {u"old"});
    ASSERT_TRUE(scratch.SetDacl(kKey, L"D:(A;;KR;;;WD)"));

    clock.Set(2008, 3, 9, 8);
    CToolbarSettings settings(scratch, clock);
    settings.Set(u"Username", u"in memory");
    settings.Load(false);
    settings.Save(false);
    settings.Save(true);

    // Read as far as it can be: not a first run, the stored entries in memory, and the change
    // that could not be written kept in memory only.
    EXPECT_FALSE(settings.FirstRun());
    EXPECT_TRUE(settings.UpdateCheckDue());
    EXPECT_EQ(settings.GetServerUrl(), u"http://gw/ag.cgi");
    EXPECT_EQ(settings.Get(u"Username"), u"in memory");
    EXPECT_EQ(ReadRegValue(scratch.root(), kKey, L"LastExecute").data, DwordBytes(2008030514));
    EXPECT_EQ(ReadRegValue(scratch.root(), kParams, L"Username").data, RegTextBytes(L"yamada"));

    // The history still reads; it cannot be written or deleted.
    std::vector<std::u16string> list;
    LoadMruList(scratch, u"SearchMRU", list);
    EXPECT_EQ(list, (std::vector<std::u16string>{u"old"}));
    SaveMruList(scratch, u"SearchMRU", {u"new"});
    DeleteMruList(scratch, u"SearchMRU");
    LoadMruList(scratch, u"SearchMRU", list);
    EXPECT_EQ(list, (std::vector<std::u16string>{u"old"}));
}

TEST_F(SettingsRegistryTest, DeniedSettingsKeyReadsNothingAndLeavesTheListAlone) {
    CToolbarSettings earlier(scratch, clock);
    earlier.Load(false);
    ASSERT_TRUE(scratch.SetDacl(kKey, L"D:(D;;KA;;;WD)"));

    CToolbarSettings settings(scratch, clock);
    settings.Load(false);
    EXPECT_TRUE(settings.FirstRun());
    std::vector<std::u16string> list{u"kept"};
    LoadMruList(scratch, u"SearchMRU", list);
    EXPECT_EQ(list, (std::vector<std::u16string>{u"kept"}));
}

TEST_F(SettingsRegistryTest, KeyWithoutFullAccessIsReadAndWrittenWithNothingLost) {
    CToolbarSettings earlier(scratch, clock);
    earlier.Load(false);
    earlier.Set(u"TavelleUrl", u"http://gw/ag.cgi");
    earlier.Set(u"Username", u"yamada");
    earlier.Save(false);
    ASSERT_TRUE(scratch.SetDacl(kKey, L"D:(A;;KRKW;;;WD)"));

    clock.Set(2008, 3, 9, 8);
    CToolbarSettings settings(scratch, clock);
    settings.Load(false);

    EXPECT_FALSE(settings.FirstRun());
    EXPECT_EQ(settings.GetServerUrl(), u"http://gw/ag.cgi");
    EXPECT_EQ(ReadRegValue(scratch.root(), kKey, L"LastExecute").data, DwordBytes(2008030908));
    EXPECT_EQ(ReadRegValue(scratch.root(), kParams, L"Username").data, RegTextBytes(L"yamada"));
    EXPECT_EQ(RegCounts(scratch.root(), kParams), std::make_pair(2, 0));
}

TEST_F(SettingsRegistryTest, DeniedParametersSubkeyIsNeitherReadNorLost) {
    RegPut(scratch.root(), kKey, L"Initialized", REG_DWORD, DwordBytes(1));
    RegPut(scratch.root(), kKey, L"LastExecute", REG_DWORD, DwordBytes(2008030409));
    RegPut(scratch.root(), kParams, L"Username", REG_SZ, RegTextBytes(L"yamada"));
    ASSERT_TRUE(scratch.SetDacl(kParams, L"D:(D;;KA;;;WD)"));

    CToolbarSettings settings(scratch, clock);
    settings.Load(false);

    EXPECT_FALSE(settings.FirstRun());
    EXPECT_TRUE(settings.Parameters().empty());
    // The rest of the save went on.
    EXPECT_EQ(ReadRegValue(scratch.root(), kKey, L"LastExecute").data, DwordBytes(2008030514));
    ASSERT_TRUE(scratch.SetDacl(kParams, L"D:(A;;KA;;;WD)"));
    EXPECT_EQ(ReadRegValue(scratch.root(), kParams, L"Username").data, RegTextBytes(L"yamada"));
}

// The platform store is the current user's hive, and theSettings is built on it.
TEST(SettingsOnTheUsersHive, DefaultObjectUsesHkcu) {
    auto clean = [] { CScratchRegistry::RemoveTree(HKEY_CURRENT_USER, L"Software\\Tavelle"); };
    clean();
    {
        CToolbarSettings process;
        process.Load(false);
        EXPECT_TRUE(process.FirstRun());
        EXPECT_EQ(ReadRegValue(HKEY_CURRENT_USER, kKey, L"Initialized").data, DwordBytes(1));
        EXPECT_EQ(RegCounts(HKEY_CURRENT_USER, kKey), std::make_pair(4, 2));
        SaveMruList(u"SearchMRU", {u"a", u"b"});
        EXPECT_EQ(ReadRegValue(HKEY_CURRENT_USER, kMru, L"1").data, RegTextBytes(L"b"));
        DeleteMruList(u"SearchMRU");
        EXPECT_EQ(RegCounts(HKEY_CURRENT_USER, kMru), std::make_pair(-1, -1));
    }
    EXPECT_EQ(&theSettings.Store(), &DefaultKeyStore());
    clean();
}

}  // namespace
}  // namespace tt::testing
