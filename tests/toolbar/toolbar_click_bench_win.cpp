// How long a click on a page button takes to reach the browser's Navigate2, beside the time of
// a command that does nothing: opening a page must not wait on the network. Prints one line
// per measurement and exits with 1 when the click path's median exceeds the budget.
//
//     toolbar_click_bench.exe [iterations] [budget in microseconds]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fakes/quiet_browser_win.h"
#include "fakes/toolbar_services_win.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "toolbar/tavelle_toolbar_ctrl_win.h"

namespace {

using namespace tt;

LARGE_INTEGER g_frequency;
LONGLONG g_navigateEntered = 0;
int g_navigations = 0;

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Microseconds(LONGLONG ticks) { return 1e6 * static_cast<double>(ticks) / g_frequency.QuadPart; }

struct Stats {
    double median, p95, max;
};

Stats Summarize(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 95 / 100], samples.back()};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int iterations = argc > 1 ? _wtoi(argv[1]) : 2000;
    const double budgetUs = argc > 2 ? _wtof(argv[2]) : 1000.0;
    QueryPerformanceFrequency(&g_frequency);
    OleInitialize(nullptr);

    theSettings.Set(u"TavelleUrl", u"http://gw.bench/cgi-bin/ag.cgi");
    theSettings.Set(u"AutoLogin", u"No");
    theSettings.Set(u"AllowToolbar", u"");
    theProcessState.SetLoginSeen(theSettings.GetServerUrl(), true);

    HWND frame = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    CToolBarReflectorCtrl reflector;
    RECT rect{0, 0, 900, 30};
    reflector.Create(frame, rect);
    // No network, no dialogs: the toolbar's own work is what is measured.
    testing::FakeToolbarServices services;
    auto toolbar = std::make_unique<TavelleToolbarCtrl>(services);
    auto* browser = new testing::QuietBrowser;
    browser->onNavigate = [] {
        g_navigateEntered = Now();
        ++g_navigations;
    };
    toolbar->SetBrowser(browser);
    if (!toolbar->CreateToolbar(reflector.Handle(), 515)) {
        std::printf("could not create the toolbar\n");
        return 2;
    }
    HWND tb = toolbar->Handle();
    SetWindowPos(tb, nullptr, 0, 0, 900, 26, SWP_NOZORDER);

    RECT button{};
    SendMessageW(tb, TB_GETRECT, 2016, reinterpret_cast<LPARAM>(&button));
    const LPARAM at = MAKELPARAM((button.left + button.right) / 2, (button.top + button.bottom) / 2);

    std::vector<double> toNavigate, wholeClick, emptyCommand, menuCommand;
    for (int i = 0; i < iterations + 50; ++i) {
        // A mouse click on the month-schedule button, as the toolbar control receives it.
        const int before = g_navigations;
        const LONGLONG start = Now();
        SendMessageW(tb, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(tb, WM_LBUTTONUP, 0, at);
        const LONGLONG end = Now();
        const LONGLONG navigated = g_navigateEntered;  // the menu item below navigates too
        if (g_navigations != before + 1) {
            std::printf("the click did not navigate (iteration %d)\n", i);
            return 2;
        }
        // A command nobody acts on, through the same reflection.
        const LONGLONG emptyStart = Now();
        SendMessageW(reflector.Handle(), WM_COMMAND, MAKEWPARAM(2003, BN_CLICKED),
                     reinterpret_cast<LPARAM>(tb));
        const LONGLONG emptyEnd = Now();
        // A menu item's page, as TrackPopupMenu delivers it.
        const LONGLONG menuStart = Now();
        SendMessageW(tb, WM_COMMAND, MAKEWPARAM(241, 0), 0);
        const LONGLONG menuEnd = Now();
        if (i < 50) continue;  // warm-up
        toNavigate.push_back(Microseconds(navigated - start));
        wholeClick.push_back(Microseconds(end - start));
        emptyCommand.push_back(Microseconds(emptyEnd - emptyStart));
        menuCommand.push_back(Microseconds(menuEnd - menuStart));
    }

    const Stats nav = Summarize(toNavigate), click = Summarize(wholeClick), empty = Summarize(emptyCommand),
                menu = Summarize(menuCommand);
    std::printf("iterations: %d\n", iterations);
    std::printf("click to Navigate2:        median %8.1f us  p95 %8.1f us  max %8.1f us\n", nav.median,
                nav.p95, nav.max);
    std::printf("whole click (down + up):   median %8.1f us  p95 %8.1f us  max %8.1f us\n", click.median,
                click.p95, click.max);
    std::printf("menu item to return:       median %8.1f us  p95 %8.1f us  max %8.1f us\n", menu.median,
                menu.p95, menu.max);
    std::printf("empty command:             median %8.1f us  p95 %8.1f us  max %8.1f us\n", empty.median,
                empty.p95, empty.max);
    std::printf("budget for the click path: %.0f us (median)\n", budgetUs);

    toolbar.reset();
    reflector.Destroy();
    DestroyWindow(frame);
    browser->Release();
    OleUninitialize();
    return nav.median <= budgetUs ? 0 : 1;
}
