#include "toolbar/options_dialog_win.h"

#include <gtest/gtest.h>

#include "fakes/options_backend.h"
#include "resources/resource_ids.h"
#include "text/url.h"
#include "toolbar/dialog_driver_win.h"

namespace tt {
namespace {

using testing::Click;
using testing::DriveModal;
using testing::FakeOptionsBackend;
using testing::HasStyle;
using testing::ItemText;
using testing::PostClick;
using testing::Type;

struct OptionsDialogWin : ::testing::Test {
    FakeOptionsBackend backend;
    bool shown = false;

    void SetUp() override {
        backend.params = {{u"TavelleUrl", u"http://gw.example.jp/cgi-bin/ag.cgi"},
                          {u"Username", u"taro"},
                          {u"AutoLogin", u"Yes"},
                          {u"NewTabInSearchResult", u"Yes"},
                          {u"NewTabInNewItem", u"No"}};
        backend.storedPassword = u"pw";
    }
    INT_PTR Run(const std::function<void(HWND)>& steps, const std::u16string& initialUrl = u"") {
        return DriveModal(
            steps, [&] { return RunOptionsDialogWin(backend, nullptr, initialUrl, GetServerBaseUrl); },
            &shown);
    }
    bool StoredSomething() const {
        for (const auto& call : backend.calls) {
            if (call.rfind("set ", 0) == 0 || call == "save(true)" || call == "store password") return true;
        }
        return false;
    }
};

struct ControlState {
    std::wstring text;
    bool visible = false, enabled = false, checked = false;
};

ControlState StateOf(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return {testing::WindowText(item), HasStyle(item, WS_VISIBLE), IsWindowEnabled(item) != FALSE,
            IsDlgButtonChecked(dialog, id) == BST_CHECKED};
}

TEST_F(OptionsDialogWin, OpensWithTheStoredValuesAndTheControlsOfTheDialog) {
    backend.params[u"TavelleUrl"] = u"http://gw.example.jp/cgi-bin/ag.cgi?page=AGIndex";
    std::wstring caption, url, user, password, hint, tabsHint, refusedText;
    DWORD urlSel = 0;
    LRESULT limits[3] = {};
    ControlState autoLogin, newTabSearch, newTabItem, refused537, refused538, passwordEdit;
    bool passwordStyle = false;
    const INT_PTR result = Run([&](HWND dialog) {
        caption = testing::WindowText(dialog);
        url = ItemText(dialog, IDC_OPTIONS_SERVER_URL);
        urlSel = static_cast<DWORD>(SendDlgItemMessageW(dialog, IDC_OPTIONS_SERVER_URL, EM_GETSEL, 0, 0));
        user = ItemText(dialog, IDC_OPTIONS_USER_NAME);
        password = ItemText(dialog, IDC_OPTIONS_PASSWORD);
        passwordStyle = HasStyle(GetDlgItem(dialog, IDC_OPTIONS_PASSWORD), ES_PASSWORD);
        passwordEdit = StateOf(dialog, IDC_OPTIONS_PASSWORD);
        autoLogin = StateOf(dialog, IDC_OPTIONS_AUTO_LOGIN);
        newTabSearch = StateOf(dialog, IDC_OPTIONS_NEW_TAB_SEARCH);
        newTabItem = StateOf(dialog, IDC_OPTIONS_NEW_TAB_ITEM);
        refused537 = StateOf(dialog, IDC_OPTIONS_TOOLBAR_REFUSED);
        refused538 = StateOf(dialog, IDC_OPTIONS_AUTO_LOGIN_REFUSED);
        int i = 0;
        for (int id : {IDC_OPTIONS_SERVER_URL, IDC_OPTIONS_USER_NAME, IDC_OPTIONS_PASSWORD}) {
            limits[i++] = SendDlgItemMessageW(dialog, id, EM_GETLIMITTEXT, 0, 0);
        }
        Click(dialog, IDCANCEL);
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(caption, L"Tavelle ツールバー設定");
    // The stored page URL was cut to its base when it was put in (the dialog's first focus
    // then selects the whole field).
    EXPECT_EQ(url, L"http://gw.example.jp/cgi-bin/ag.cgi");
    EXPECT_EQ(HIWORD(urlSel), url.size());
    EXPECT_EQ(user, L"taro");
    EXPECT_EQ(password, L"pw");
    EXPECT_TRUE(passwordStyle);
    EXPECT_TRUE(passwordEdit.enabled);  // automatic log-in is on
    EXPECT_EQ(autoLogin.text, L"Tavelle Office 7に自動ログインする(&A)");
    EXPECT_TRUE(autoLogin.checked);
    EXPECT_TRUE(autoLogin.enabled);
    EXPECT_TRUE(newTabSearch.checked);
    EXPECT_FALSE(newTabItem.checked);
    EXPECT_TRUE(newTabSearch.enabled);
    EXPECT_FALSE(refused537.visible);
    EXPECT_FALSE(refused538.visible);
    EXPECT_EQ(refused537.text, L"現在指定されているサーバーはツールバーの使用が許可されていません。");
    EXPECT_EQ(refused538.text, L"自動ログインが許可されていません。");
    EXPECT_EQ(limits[0], 2084);
    EXPECT_EQ(limits[1], 100);
    EXPECT_EQ(limits[2], 64);
    // Cancel: only the opening permission check ran.
    EXPECT_EQ(backend.calls, (std::vector<std::string>{"check(false)"}));
}

TEST_F(OptionsDialogWin, APageUrlTypedOrPastedIsCutToItsBaseWithTheCaretAtTheEnd) {
    std::wstring typed, pasted, capitalised;
    DWORD typedSel = 0, pastedSel = 0;
    const INT_PTR result = Run([&](HWND dialog) {
        HWND edit = GetDlgItem(dialog, IDC_OPTIONS_SERVER_URL);
        SetWindowTextW(edit, L"");
        Type(edit, L"http://h.example/ag.cgi?");
        typed = testing::WindowText(edit);
        typedSel = static_cast<DWORD>(SendMessageW(edit, EM_GETSEL, 0, 0));

        SendMessageW(edit, EM_SETSEL, 0, -1);
        if (OpenClipboard(dialog)) {
            EmptyClipboard();
            const wchar_t text[] = L"https://h.example/tv/ag.exe?page=AGIndex#top";
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(text));
            memcpy(GlobalLock(memory), text, sizeof(text));
            GlobalUnlock(memory);
            SetClipboardData(CF_UNICODETEXT, memory);
            CloseClipboard();
        }
        SendMessageW(edit, WM_PASTE, 0, 0);
        pasted = testing::WindowText(edit);
        pastedSel = static_cast<DWORD>(SendMessageW(edit, EM_GETSEL, 0, 0));

        SetWindowTextW(edit, L" HTTP://H.EXAMPLE/ag.cgi?page=X? ");
        capitalised = testing::WindowText(edit);
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(typed, L"http://h.example/ag.cgi");
    EXPECT_EQ(LOWORD(typedSel), typed.size());
    EXPECT_EQ(HIWORD(typedSel), typed.size());
    EXPECT_EQ(pasted, L"https://h.example/tv/ag.exe");
    EXPECT_EQ(LOWORD(pastedSel), pasted.size());
    EXPECT_EQ(HIWORD(pastedSel), pasted.size());
    // Not the pattern's scheme: left as typed, and OK trims it.
    EXPECT_EQ(capitalised, L" HTTP://H.EXAMPLE/ag.cgi?page=X? ");
    EXPECT_EQ(backend.params[u"TavelleUrl"], u"HTTP://H.EXAMPLE/ag.cgi?page=X");
}

TEST_F(OptionsDialogWin, OkStoresTheFieldsTrimmedAndClearsTheLogInState) {
    const INT_PTR result = Run([&](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_OPTIONS_SERVER_URL, L"\t http://other.example/page.html?? \r\n");
        SetDlgItemTextW(dialog, IDC_OPTIONS_USER_NAME, L" 山田 ");
        SetDlgItemTextW(dialog, IDC_OPTIONS_PASSWORD, L"");
        Click(dialog, IDC_OPTIONS_NEW_TAB_ITEM);
        Click(dialog, IDC_OPTIONS_NEW_TAB_SEARCH);
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(backend.calls,
              (std::vector<std::string>{"check(false)", "check(true)", "set NewTabInSearchResult=No",
                                        "set NewTabInNewItem=Yes", "set AutoLogin=Yes",
                                        "set Username= \xE5\xB1\xB1\xE7\x94\xB0 ",
                                        "set TavelleUrl=http://other.example/page.html", "save(true)",
                                        "store password", "clear loginSeen"}));
    EXPECT_TRUE(backend.passwordStored);
    EXPECT_EQ(backend.storedPassword, u"");
}

TEST_F(OptionsDialogWin, ARefusedServerShowsBothWarningsInDarkRedAndStoresAutoLoginNo) {
    backend.allowToolbar = false;
    ControlState autoLogin, refused537, refused538, userName;
    COLORREF warningColour = 0, otherColour = 0;
    INT_PTR warningBrush = -1, otherBrush = -1;
    const INT_PTR result = Run([&](HWND dialog) {
        autoLogin = StateOf(dialog, IDC_OPTIONS_AUTO_LOGIN);
        refused537 = StateOf(dialog, IDC_OPTIONS_TOOLBAR_REFUSED);
        refused538 = StateOf(dialog, IDC_OPTIONS_AUTO_LOGIN_REFUSED);
        userName = StateOf(dialog, IDC_OPTIONS_USER_NAME);
        HDC dc = CreateCompatibleDC(nullptr);
        SetTextColor(dc, RGB(1, 2, 3));
        warningBrush =
            SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_OPTIONS_AUTO_LOGIN_REFUSED)));
        warningColour = GetTextColor(dc);
        SetTextColor(dc, RGB(1, 2, 3));
        otherBrush = SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_OPTIONS_USER_NAME_LABEL)));
        otherColour = GetTextColor(dc);
        DeleteDC(dc);
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(refused537.visible);
    EXPECT_TRUE(refused538.visible);
    EXPECT_FALSE(autoLogin.checked);
    EXPECT_FALSE(autoLogin.enabled);
    EXPECT_FALSE(userName.enabled);
    EXPECT_EQ(warningColour, RGB(127, 0, 0));
    EXPECT_EQ(warningBrush, reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH)));
    // Other labels are drawn as the system draws them.
    EXPECT_EQ(otherColour, GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_NE(otherBrush, reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(backend.params[u"AutoLogin"], u"No");
}

TEST_F(OptionsDialogWin, RefusedAutomaticLogInShowsOnlyItsWarning) {
    backend.allowAutoLogin = false;
    ControlState autoLogin, refused537, refused538;
    Run([&](HWND dialog) {
        autoLogin = StateOf(dialog, IDC_OPTIONS_AUTO_LOGIN);
        refused537 = StateOf(dialog, IDC_OPTIONS_TOOLBAR_REFUSED);
        refused538 = StateOf(dialog, IDC_OPTIONS_AUTO_LOGIN_REFUSED);
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(shown);
    EXPECT_FALSE(refused537.visible);
    EXPECT_TRUE(refused538.visible);
    EXPECT_FALSE(autoLogin.checked);
    EXPECT_FALSE(autoLogin.enabled);
    EXPECT_EQ(backend.params[u"AutoLogin"], u"No");
}

TEST_F(OptionsDialogWin, WithoutTabsTheTabBoxesAreDisabledButKeepTheirStates) {
    backend.tabs = false;
    ControlState search, item;
    Run([&](HWND dialog) {
        search = StateOf(dialog, IDC_OPTIONS_NEW_TAB_SEARCH);
        item = StateOf(dialog, IDC_OPTIONS_NEW_TAB_ITEM);
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(shown);
    EXPECT_FALSE(search.enabled);
    EXPECT_FALSE(item.enabled);
    EXPECT_TRUE(search.visible);
    EXPECT_TRUE(search.checked);
    EXPECT_FALSE(item.checked);
    EXPECT_EQ(backend.params[u"NewTabInSearchResult"], u"Yes");
    EXPECT_EQ(backend.params[u"NewTabInNewItem"], u"No");
}

TEST_F(OptionsDialogWin, UncheckingAutoLogInDisablesTheLogInFieldsWhichAreStillStored) {
    ControlState userLabel, passwordLabel, userName, password;
    Run([&](HWND dialog) {
        Click(dialog, IDC_OPTIONS_AUTO_LOGIN);
        userLabel = StateOf(dialog, IDC_OPTIONS_USER_NAME_LABEL);
        passwordLabel = StateOf(dialog, IDC_OPTIONS_PASSWORD_LABEL);
        userName = StateOf(dialog, IDC_OPTIONS_USER_NAME);
        password = StateOf(dialog, IDC_OPTIONS_PASSWORD);
        SetDlgItemTextW(dialog, IDC_OPTIONS_USER_NAME, L"hanako");
        Click(dialog, IDOK);
    });
    ASSERT_TRUE(shown);
    EXPECT_FALSE(userLabel.enabled);
    EXPECT_FALSE(passwordLabel.enabled);
    EXPECT_FALSE(userName.enabled);
    EXPECT_FALSE(password.enabled);
    EXPECT_EQ(backend.params[u"AutoLogin"], u"No");
    EXPECT_EQ(backend.params[u"Username"], u"hanako");
    EXPECT_EQ(backend.storedPassword, u"pw");
}

TEST_F(OptionsDialogWin, TheHistoryButtonDeletesAtOnceAndCancelKeepsTheDeletion) {
    std::wstring boxText, boxCaption;
    bool boxShown = false, boxHasCancel = true;
    const DWORD thread = GetCurrentThreadId();
    const INT_PTR result = Run([&](HWND dialog) {
        PostClick(dialog, IDC_OPTIONS_CLEAR_HISTORY);
        HWND box = testing::WaitForThreadWindow(thread, L"#32770", dialog);
        boxShown = box != nullptr;
        if (box) {
            boxCaption = testing::WindowText(box);
            boxText = ItemText(box, 0xFFFF);
            boxHasCancel = GetDlgItem(box, IDCANCEL) != nullptr && IsWindowVisible(GetDlgItem(box, IDCANCEL));
            Click(box, IDOK);
        }
        Click(dialog, IDCANCEL);
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDCANCEL);
    ASSERT_TRUE(boxShown);
    EXPECT_EQ(boxText, L"検索履歴を削除しました。");
    EXPECT_EQ(boxCaption, L"");
    EXPECT_FALSE(boxHasCancel);
    EXPECT_EQ(backend.historyDeletions, 1);
    EXPECT_FALSE(StoredSomething());
    EXPECT_TRUE(backend.loginSeen);
}

TEST_F(OptionsDialogWin, APresetUrlReplacesTheStoredOne) {
    std::wstring url;
    Run(
        [&](HWND dialog) {
            url = ItemText(dialog, IDC_OPTIONS_SERVER_URL);
            Click(dialog, IDCANCEL);
        },
        u"https://detected.example/ag.exe");
    ASSERT_TRUE(shown);
    EXPECT_EQ(url, L"https://detected.example/ag.exe");
}

}  // namespace
}  // namespace tt
