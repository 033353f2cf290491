#pragma once
// A toolbar window under test: TavelleToolbarCtrl created under a reflector in a top-level
// window, on the test browser, with services that record what the toolbar asks of them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/fake_browser_win.h"
#include "net/fake_http_client.h"
#include "support/clock.h"
#include "toolbar/navigation_fakes.h"
#include "toolbar/tavelle_toolbar_ctrl_win.h"

namespace tt::testing {

class SettableClock : public IClock {
public:
    LocalTime now{2026, 12, 8, 9, 0, 0};
    LocalTime Now() override { return now; }
};

class MemoryHistoryStore : public IHistoryStore {
public:
    std::vector<std::u16string> stored;
    std::vector<std::u16string> Load() override { return stored; }
    void Save(const std::vector<std::u16string>& entries) override { stored = entries; }
};

struct ShownMenu {
    std::vector<UINT> ids;  // 0 for a separator
    std::vector<std::wstring> texts;
    POINT at{};
    HWND owner = nullptr;
};

// Records every request of the toolbar; the menus are read instead of shown, and a chooser
// may pick an item, which then arrives as the menu's WM_COMMAND does.
class TestServices : public IToolbarServices {
public:
    FakeHttpClient http;
    SettableClock clock;
    FakeKeys keys;
    FakePrompts prompts;
    MemoryHistoryStore history;
    int permissionChecks = 0;
    std::vector<bool> versionChecks;  // automatic?
    int aboutBoxes = 0;
    std::vector<ShownMenu> menus;
    std::function<UINT(const ShownMenu&)> choose;  // 0: dismissed
    // When set, the menu is also really shown through this (the screenshot shows it open).
    std::function<void(HMENU, int x, int y, HWND owner)> show;
    std::vector<std::pair<UINT_PTR, UINT>> timerStarts;
    std::map<UINT_PTR, UINT> runningTimers;
    // When set, timers really run, with their periods divided by this.
    UINT timerDivisor = 0;

    IHttpClient& Http() override { return http; }
    IClock& Clock() override { return clock; }
    IKeyState& Keys() override { return keys; }
    IUserPrompts& Prompts() override { return prompts; }
    IHistoryStore& History() override { return history; }
    ICodePageConverter& CodePages() override { return PlatformCodePageConverter(); }
    void CheckToolbarPermission() override { ++permissionChecks; }
    void StartVersionCheck(bool automatic) override { versionChecks.push_back(automatic); }
    void ShowAboutDialog() override { ++aboutBoxes; }
    void TrackPopupMenu(HMENU menu, int x, int y, HWND owner) override;
    void StartTimer(HWND window, UINT_PTR id, UINT periodMs) override;
    void StopTimer(HWND window, UINT_PTR id) override;
};

// Lets posted messages and real timers run for a while on this thread.
void PumpMessages(DWORD milliseconds);
// Pumps until the condition holds or the time is up; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);

class ToolbarWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the toolbar (the test may prepare settings and state first).
    void CreateToolbar(bool visible = true);

    // The way a click arrives: the toolbar's WM_COMMAND to its parent, reflected back.
    void Click(UINT id);
    // A menu choice as TrackPopupMenu delivers it.
    void Choose(UINT id);
    void DropDown();  // the arrow of button 2002

    TBBUTTONINFOW ButtonInfo(UINT id, DWORD mask);
    std::wstring ButtonText(UINT id);
    RECT ButtonRect(UINT id);
    const tthost::NavigateCall& LastNavigation();
    size_t Navigations();

    std::u16string base;
    TestServices services;
    HWND frame = nullptr;
    tthost::ComPtr<tthost::FakeBrowser> browser;
    CToolBarReflectorCtrl reflector;
    std::unique_ptr<TavelleToolbarCtrl> toolbar;
};

// The page answers of the two list pages.
std::u16string DigestUrl(const std::u16string& base);
std::u16string ScheduleUrl(const std::u16string& base);
// A digest page of n records: a header and entries "Ln,?page=Pn,Tn".
std::u16string DigestText(int records);

}  // namespace tt::testing
