// The product's options dialog end to end: the settings object, the current user's registry,
// DPAPI and the permission check, driven through the dialog's window. The tests run in a Wine
// prefix of their own, so the settings key is theirs to empty.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "resources/resource_ids.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "support/unique_handle_win.h"
#include "toolbar/dialog_driver_win.h"
#include "toolbar/options_dialog_win.h"

namespace tt {
namespace {

using testing::Click;
using testing::DriveModal;
using testing::ItemText;
using testing::PostClick;
using testing::Type;

const wchar_t kKey[] = L"Software\\Tavelle\\TavelleToolbar";
const wchar_t kParams[] = L"Software\\Tavelle\\TavelleToolbar\\Parameters";
const wchar_t kHistory[] = L"Software\\Tavelle\\TavelleToolbar\\SearchMRU";

struct Value {
    DWORD type = 0;  // 0: absent
    std::vector<BYTE> data;
};

Value ReadValue(const wchar_t* path, const wchar_t* name) {
    Value v;
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return v;
    DWORD size = 0, type = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return v;
    v.data.resize(size);
    if (RegQueryValueExW(key.get(), name, nullptr, &type, v.data.data(), &size) != ERROR_SUCCESS) return {};
    v.data.resize(size);
    v.type = type;
    return v;
}

// A REG_SZ value as text; "<absent>" or "<type n>" otherwise.
std::wstring ReadText(const wchar_t* path, const wchar_t* name) {
    const Value v = ReadValue(path, name);
    if (v.type == 0) return L"<absent>";
    if (v.type != REG_SZ) return L"<type " + std::to_wstring(v.type) + L">";
    std::wstring text(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

void WriteText(const wchar_t* path, const wchar_t* name, const std::wstring& text) {
    unique_hkey key;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
        ERROR_SUCCESS);
    RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool KeyExists(const wchar_t* path) {
    unique_hkey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

class OptionsDialogRegistry : public ::testing::Test {
protected:
    void SetUp() override { Fresh(); }
    void TearDown() override { Fresh(); }

    // No settings key, the settings object and the process state as at load.
    static void Fresh() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
        theSettings.Reset();
        theProcessState.Reset();
    }

    INT_PTR Run(const std::function<void(HWND)>& steps) {
        return DriveModal(
            steps, [] { return ShowOptionsDialog(u""); }, &shown);
    }

    bool shown = false;
};

TEST_F(OptionsDialogRegistry, OkStoresTheValuesInTheSettingsKeyAndAnEmptyPasswordProtected) {
    theSettings.SetTabsAvailable(true);
    theProcessState.SetLoginSeen(theSettings.GetServerUrl(), true);
    std::wstring url, user, password, typedUrl;
    const INT_PTR result = Run([&](HWND dialog) {
        url = ItemText(dialog, IDC_OPTIONS_SERVER_URL);
        user = ItemText(dialog, IDC_OPTIONS_USER_NAME);
        password = ItemText(dialog, IDC_OPTIONS_PASSWORD);
        HWND edit = GetDlgItem(dialog, IDC_OPTIONS_SERVER_URL);
        // Port 1 of the loopback host: a permission request for it would fail at once.
        Type(edit, L"http://127.0.0.1:1/cgi-bin/ag.cgi?page=AGIndex");
        typedUrl = testing::WindowText(edit);
        Type(GetDlgItem(dialog, IDC_OPTIONS_USER_NAME), L"山田 ");
        Click(dialog, IDC_OPTIONS_AUTO_LOGIN);
        Click(dialog, IDC_OPTIONS_NEW_TAB_SEARCH);
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDOK);
    // A fresh key: every field starts empty.
    EXPECT_EQ(url, L"");
    EXPECT_EQ(user, L"");
    EXPECT_EQ(password, L"");
    EXPECT_EQ(typedUrl, L"http://127.0.0.1:1/cgi-bin/ag.cgi");

    EXPECT_EQ(ReadText(kParams, L"TavelleUrl"), L"http://127.0.0.1:1/cgi-bin/ag.cgi");
    EXPECT_EQ(ReadText(kParams, L"Username"), L"山田 ");
    EXPECT_EQ(ReadText(kParams, L"AutoLogin"), L"Yes");
    EXPECT_EQ(ReadText(kParams, L"NewTabInSearchResult"), L"Yes");
    EXPECT_EQ(ReadText(kParams, L"NewTabInNewItem"), L"No");

    // The empty password is stored, sealed by DPAPI for this user.
    const Value sealed = ReadValue(kKey, L"UserPassword");
    ASSERT_EQ(sealed.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_GT(sealed.data.size(), 2u);
    DATA_BLOB in{static_cast<DWORD>(sealed.data.size()), const_cast<BYTE*>(sealed.data.data())};
    DATA_BLOB out{};
    ASSERT_TRUE(CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, 0, &out));
    unique_hlocal plain(out.pbData);
    EXPECT_EQ(std::vector<BYTE>(out.pbData, out.pbData + out.cbData), (std::vector<BYTE>{0, 0}));

    EXPECT_FALSE(theProcessState.LoginSeen(theSettings.GetServerUrl()));
    // The forced permission check ran before the new URL was stored: with no URL stored before,
    // it had nothing to fetch.
    EXPECT_FALSE(theProcessState.PermissionFetched(theSettings.GetServerUrl()));

    // A second opening shows what was stored.
    std::wstring again;
    Run([&](HWND dialog) {
        again = ItemText(dialog, IDC_OPTIONS_SERVER_URL) + L"|" + ItemText(dialog, IDC_OPTIONS_USER_NAME) +
                L"|" + ItemText(dialog, IDC_OPTIONS_PASSWORD);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(again, L"http://127.0.0.1:1/cgi-bin/ag.cgi|山田 |");
}

TEST_F(OptionsDialogRegistry, CancelStoresNothingButTheHistoryDeletionStays) {
    WriteText(kHistory, L"0", L"apple");
    WriteText(kHistory, L"1", L"apricot");
    theProcessState.SetLoginSeen(theSettings.GetServerUrl(), true);
    const DWORD thread = GetCurrentThreadId();
    bool answered = false;
    const INT_PTR result = Run([&](HWND dialog) {
        Type(GetDlgItem(dialog, IDC_OPTIONS_SERVER_URL), L"http://127.0.0.1:1/ag.exe");
        Type(GetDlgItem(dialog, IDC_OPTIONS_USER_NAME), L"taro");
        Type(GetDlgItem(dialog, IDC_OPTIONS_PASSWORD), L"secret");
        Click(dialog, IDC_OPTIONS_AUTO_LOGIN);
        PostClick(dialog, IDC_OPTIONS_CLEAR_HISTORY);
        if (HWND box = testing::WaitForThreadWindow(thread, L"#32770", dialog)) {
            answered = true;
            Click(box, IDOK);
        }
        Click(dialog, IDCANCEL);
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(answered);
    EXPECT_FALSE(KeyExists(kHistory));
    EXPECT_FALSE(KeyExists(kParams));
    EXPECT_EQ(ReadValue(kKey, L"UserPassword").type, 0u);
    EXPECT_EQ(theSettings.GetServerUrl(), u"");
    EXPECT_TRUE(theProcessState.LoginSeen(theSettings.GetServerUrl()));
}

}  // namespace
}  // namespace tt
