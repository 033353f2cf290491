#include "fakes/toolbar_services_win.h"

namespace tt::testing {

void FakeToolbarServices::TrackPopupMenu(HMENU menu, int x, int y, HWND owner) {
    ShownMenu shown;
    shown.at = {x, y};
    shown.owner = owner;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const UINT id = GetMenuItemID(menu, i);
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        shown.ids.push_back(id == static_cast<UINT>(-1) ? 0 : id);
        shown.texts.push_back(text);
    }
    menus.push_back(shown);
    if (show) show(menu, x, y, owner);
    if (choose) {
        // TrackPopupMenu without TPM_RETURNCMD posts the choice to its owner.
        if (UINT id = choose(shown)) PostMessageW(owner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    }
}

void FakeToolbarServices::StartTimer(HWND window, UINT_PTR id, UINT periodMs) {
    timerStarts.push_back({id, periodMs});
    runningTimers[id] = periodMs;
    if (timerDivisor) SetTimer(window, id, periodMs / timerDivisor, nullptr);
}

void FakeToolbarServices::StopTimer(HWND window, UINT_PTR id) {
    runningTimers.erase(id);
    KillTimer(window, id);
}

}  // namespace tt::testing
