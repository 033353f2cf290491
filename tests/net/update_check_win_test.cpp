// The update check end to end: the version file from the stand-in server over WinINet, the
// notice dialog on the background thread, driven here by window messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <mutex>
#include <vector>

#include "fakes/clock.h"
#include "net/http_client_win.h"
#include "net/standin_server_win.h"
#include "net/update_check.h"
#include "net/update_notify_dlg_win.h"
#include "resources/resource_ids.h"
#include "settings/key_store_memory.h"
#include "settings/toolbar_settings.h"
#include "support/threads.h"
#include "support/unique_handle_win.h"
#include "support/utf.h"

namespace tt {
namespace {

using testing::JsonString;
using testing::StandinServer;

class UpdateNotice : public ::testing::Test {
protected:
    UpdateNotice()
        : settings(store, clock),
          notifier([this](const std::u16string& file, const std::u16string& parameters) {
              std::lock_guard<tt::CriticalSection> guard(lock);
              launched.push_back(file + u" " + parameters);
          }) {
        settings.Load(false);
    }

    void SetUp() override {
        ASSERT_NE(server.Port(), 0u) << "the stand-in server did not start";
        ASSERT_TRUE(server.Reset());
    }

    void TearDown() override {
        // Never leave a dialog or a thread behind for the next test.
        for (int i = 0; i < 5; ++i) {
            if (HWND dialog = FindNotice(std::chrono::milliseconds(0)))
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            if (WaitForHttpJobs(std::chrono::seconds(2))) break;
        }
    }

    void ServeVersionFile(const std::string& text) {
        ASSERT_TRUE(server.Control("{\"version_txt\": " + JsonString(text) + "}"));
    }

    bool Start(bool automatic, const std::u16string& current = u"0.1.1") {
        return StartVersionCheck(automatic, settings, http, notifier,
                                 server.Url(u"/tools/toolbar/ie-version.txt"), current);
    }

    static HWND FindNotice(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            HWND dialog = FindWindowW(L"#32770", L"Tavelle ツールバーの更新");
            if ((dialog && IsWindowVisible(dialog)) || std::chrono::steady_clock::now() >= deadline)
                return dialog;
            Sleep(20);
        }
    }

    static std::u16string ItemText(HWND dialog, int id) {
        wchar_t text[512] = {};
        GetDlgItemTextW(dialog, id, text, 512);
        return FromWide(text);
    }
    static bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
    static void Press(HWND dialog, int id) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    static bool WaitGone(HWND dialog) {
        for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(20);
        return !IsWindow(dialog);
    }

    StandinServer& server = StandinServer::Get();
    CMemoryKeyStore store;
    testing::FakeClock clock{{2024, 5, 17, 9, 0, 0}};
    CToolbarSettings settings;
    CWinInetHttpClient http;
    tt::CriticalSection lock;
    std::vector<std::u16string> launched;
    CDialogUpdateNotifier notifier;
};

TEST_F(UpdateNotice, UpToDateAskedFromTheMenuShowsTheOkNotice) {
    ServeVersionFile("LatestVersion=0.1.1\r\nDownloadPath=http://dl.example/setup.exe\r\n");
    ASSERT_TRUE(Start(false));
    HWND dialog = FindNotice();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDC_UPDATE_MESSAGE), u"\n現在のツールバーは最新のバージョンです。");
    EXPECT_TRUE(Visible(dialog, IDOK));
    EXPECT_FALSE(Visible(dialog, IDYES));
    EXPECT_FALSE(Visible(dialog, IDNO));
    EXPECT_FALSE(Visible(dialog, IDC_UPDATE_DONT_ASK));
    EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);  // the worker thread has no window to own it
    Press(dialog, IDOK);
    EXPECT_TRUE(WaitGone(dialog));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_TRUE(launched.empty());

    // The request was a plain GET of the version file.
    const auto request = testing::ParseRawRequest(server.LastRequest());
    EXPECT_EQ(request.requestLine, "GET /tools/toolbar/ie-version.txt HTTP/1.1");
}

TEST_F(UpdateNotice, UpToDateAutomaticallyIsSilent) {
    ServeVersionFile("LatestVersion=0.1.1\n");
    ASSERT_TRUE(Start(true));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_EQ(FindNotice(std::chrono::milliseconds(0)), nullptr);
    EXPECT_EQ(server.RequestCount(), 1);
}

TEST_F(UpdateNotice, YesStartsTheBrowserOnTheDownloadAddress) {
    ServeVersionFile("LatestVersion=0.1.2\nDownloadPath=http://dl.example/toolbar/setup.exe\n");
    ASSERT_TRUE(Start(true));
    HWND dialog = FindNotice();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDC_UPDATE_MESSAGE),
              u"\nより新しいバージョン 0.1.2 が公開されています。\n今すぐ最新の Tavelle(R) ツールバー "
              u"をインストールしますか?");
    EXPECT_TRUE(Visible(dialog, IDYES));
    EXPECT_TRUE(Visible(dialog, IDNO));
    EXPECT_FALSE(Visible(dialog, IDOK));
    EXPECT_TRUE(Visible(dialog, IDC_UPDATE_DONT_ASK));
    EXPECT_EQ(ItemText(dialog, IDNO), u"後で通知(&N)");
    EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    Press(dialog, IDYES);
    EXPECT_TRUE(WaitGone(dialog));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_EQ(launched, std::vector<std::u16string>{u"iexplore.exe http://dl.example/toolbar/setup.exe"});
}

TEST_F(UpdateNotice, TickingTheBoxTurnsYesOffAndNoRemembersTheVersion) {
    ServeVersionFile("LatestVersion=0.1.2\nDownloadPath=http://dl.example/setup.exe\n");
    ASSERT_TRUE(Start(true));
    HWND dialog = FindNotice();
    ASSERT_NE(dialog, nullptr);
    HWND box = GetDlgItem(dialog, IDC_UPDATE_DONT_ASK);
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UPDATE_DONT_ASK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(box));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDYES)));
    EXPECT_EQ(ItemText(dialog, IDNO), u"いいえ(&N)");
    // Unticked again: Yes is back and No means "later".
    SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UPDATE_DONT_ASK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(box));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDYES)));
    EXPECT_EQ(ItemText(dialog, IDNO), u"後で通知(&N)");
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UPDATE_DONT_ASK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(box));
    Press(dialog, IDNO);
    EXPECT_TRUE(WaitGone(dialog));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_TRUE(launched.empty());
    EXPECT_EQ(settings.NoCheckVersion(), u"0.1.2");

    // The next automatic check of that version says nothing.
    ASSERT_TRUE(Start(true));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_EQ(FindNotice(std::chrono::milliseconds(0)), nullptr);
}

TEST_F(UpdateNotice, EscapeClosesTheQuestionWithoutAnything) {
    ServeVersionFile("LatestVersion=0.2\n");
    ASSERT_TRUE(Start(false));
    HWND dialog = FindNotice();
    ASSERT_NE(dialog, nullptr);
    HWND box = GetDlgItem(dialog, IDC_UPDATE_DONT_ASK);
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitGone(dialog));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
    EXPECT_TRUE(launched.empty());
    EXPECT_EQ(settings.NoCheckVersion(), u"");
}

TEST_F(UpdateNotice, NoVersionFileAskedFromTheMenuSaysSo) {
    // The stand-in answers 404 while no version file is configured.
    ASSERT_TRUE(Start(false));
    HWND dialog = FindNotice();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ItemText(dialog, IDC_UPDATE_MESSAGE),
              u"\nネットワーク接続の問題等により最新のツールバー情報を\n確認することができませんでした。");
    EXPECT_TRUE(Visible(dialog, IDOK));
    Press(dialog, IDOK);
    EXPECT_TRUE(WaitGone(dialog));
    ASSERT_TRUE(WaitForHttpJobs(std::chrono::seconds(10)));
}

TEST_F(UpdateNotice, TheMessageSitsOnTheWindowColour) {
    ServeVersionFile("LatestVersion=0.1.1\n");
    ASSERT_TRUE(Start(false));
    HWND dialog = FindNotice();
    ASSERT_NE(dialog, nullptr);
    HWND message = GetDlgItem(dialog, IDC_UPDATE_MESSAGE);
    HDC dc = GetDC(message);
    const LRESULT brush = SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(message));
    ASSERT_NE(brush, 0);
    LOGBRUSH info{};
    ASSERT_EQ(GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.lbColor, GetSysColor(COLOR_WINDOW));
    // Other controls keep the dialog's own colours.
    EXPECT_NE(SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_UPDATE_DONT_ASK))),
              brush);
    ReleaseDC(message, dc);
    Press(dialog, IDOK);
    EXPECT_TRUE(WaitGone(dialog));
}

HWND g_timerSeen = nullptr;
bool g_timerTopmost = true;

void CALLBACK CloseNoticeFromTimer(HWND, UINT, UINT_PTR, DWORD) {
    HWND d = FindWindowW(L"#32770", L"Tavelle ツールバーの更新");
    if (!d || g_timerSeen) return;
    g_timerSeen = d;
    g_timerTopmost = (GetWindowLongPtrW(d, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST(UpdateNotifyDialog, RunsOnTheCallingThreadWithMessageAndMode) {
    // The dialog on this thread: close it from a timer once it is up.
    CUpdateNotifyDlg dialog;
    dialog.SetMessage(u"first");
    dialog.SetMessage(u"second");
    EXPECT_EQ(dialog.Message(), u"\nfirst\nsecond");
    dialog.SetQuestionMode(false);
    dialog.SetTopmost(false);
    g_timerSeen = nullptr;
    g_timerTopmost = true;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseNoticeFromTimer);
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    KillTimer(nullptr, timer);
    EXPECT_NE(g_timerSeen, nullptr);
    EXPECT_FALSE(g_timerTopmost);
    EXPECT_FALSE(dialog.DontNotifyChecked());
}

}  // namespace
}  // namespace tt
