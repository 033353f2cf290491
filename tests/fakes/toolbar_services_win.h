#pragma once
// The toolbar window's surroundings, recorded: what it asks of the network, the clock, the
// keys, the prompts, the history, the menus and the timers. Menus are read instead of shown;
// a chooser may pick an item, which then arrives as the menu's WM_COMMAND does.
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fakes/clock.h"
#include "fakes/history_store.h"
#include "fakes/http_client.h"
#include "fakes/navigation.h"
#include "toolbar/tavelle_toolbar_ctrl_win.h"

namespace tt::testing {

struct ShownMenu {
    std::vector<UINT> ids;  // 0 for a separator
    std::vector<std::wstring> texts;
    POINT at{};
    HWND owner = nullptr;
};

class FakeToolbarServices : public IToolbarServices {
public:
    FakeHttpClient http;
    // When set, the requests go there instead (a real client, against a real server).
    IHttpClient* httpInstead = nullptr;
    FakeClock clock{LocalTime{2026, 12, 8, 9, 0, 0}};
    FakeKeys keys;
    FakePrompts prompts;
    FakeHistoryStore history;
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

    IHttpClient& Http() override { return httpInstead ? *httpInstead : http; }
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

}  // namespace tt::testing
