// The toolbar window against hostile servers (the stand-in on TT_STANDIN_PORT): how long one
// refresh of the displays holds the window's thread when the server drips its answers a byte
// at a time, and how much heap the refresh needs for a 4 MiB answer of commas. Prints one
// line per case; exits with 1 when a refresh outlasts its requests' deadlines or the heap
// peak of the hostile answer reaches three times its size.
//
//     toolbar_server_bench.exe   (scripts/bench_server.sh starts the stand-in and runs it)
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "fakes/quiet_browser_win.h"
#include "fakes/toolbar_services_win.h"
#include "net/http_client_win.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "toolbar/command_table.h"
#include "toolbar/tavelle_toolbar_ctrl_win.h"

// The heap the program's C++ code holds, counted on every allocation (all of the toolbar's
// texts and records are such allocations); each block carries its size in front of it.
namespace {
std::atomic<size_t> g_heapNow{0};
std::atomic<size_t> g_heapPeak{0};
constexpr size_t kHeader = 16;

// Out of line, so that the compiler does not look through the header arithmetic at callers.
__attribute__((noinline)) void* CountedAllocate(size_t n) {
    auto* block = static_cast<unsigned char*>(std::malloc(n + kHeader));
    if (!block) return nullptr;
    *reinterpret_cast<size_t*>(block) = n;
    const size_t now = g_heapNow += n;
    size_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
    return block + kHeader;
}
__attribute__((noinline)) void CountedFree(void* p) {
    if (!p) return;
    auto* block = static_cast<unsigned char*>(p) - kHeader;
    g_heapNow -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}
}  // namespace

void* operator new(size_t n) {
    if (void* p = CountedAllocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    try {
        return operator new(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return operator new(n, std::nothrow); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

namespace {

using namespace tt;

struct Refresh {
    double seconds;
    size_t heapPeak;  // above the heap held before the refresh
};

// One refresh of both displays (the refresh timer's tick) against the server's pages under
// base, from a process without earlier answers.
Refresh RefreshAgainst(HWND toolbar, const std::u16string& base) {
    theProcessState.Reset();
    theProcessState.SetGroupwareCookie(theSettings.GetServerUrl(), u"AGSESSID=bench");
    theSettings.Set(u"TavelleUrl", base);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    const size_t before = g_heapNow.load();
    g_heapPeak = before;
    QueryPerformanceCounter(&start);
    SendMessageW(toolbar, WM_TIMER, kRefreshTimerId, 0);
    QueryPerformanceCounter(&end);
    return {static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
            g_heapPeak.load() - before};
}

}  // namespace

int wmain() {
    const wchar_t* port = _wgetenv(L"TT_STANDIN_PORT");
    if (!port || !*port) {
        std::printf("TT_STANDIN_PORT names no stand-in server\n");
        return 2;
    }
    OleInitialize(nullptr);
    const std::wstring wideRoot = std::wstring(L"http://127.0.0.1:") + port;
    const std::u16string root(wideRoot.begin(), wideRoot.end());
    theSettings.Set(u"AutoLogin", u"No");

    HWND frame = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    CToolBarReflectorCtrl reflector;
    RECT rect{0, 0, 900, 30};
    reflector.Create(frame, rect);
    // The product's HTTP client and deadline; nothing else leaves the window.
    testing::FakeToolbarServices services;
    services.httpInstead = &DefaultHttpClient();
    auto toolbar = std::make_unique<TavelleToolbarCtrl>(services);
    auto* browser = new testing::QuietBrowser;
    toolbar->SetBrowser(browser);
    if (!toolbar->CreateToolbar(reflector.Handle(), 515)) {
        std::printf("could not create the toolbar\n");
        return 2;
    }
    const HWND tb = toolbar->Handle();
    const double deadline = kHttpDeadlineMs / 1000.0;
    bool ok = true;

    std::printf("request deadline: %.0f s; the refresh asks for the schedule, then the digest\n", deadline);
    struct StallCase {
        const char16_t* path;
        const char* what;
        int dripping;  // requests of the refresh that meet a dripping answer
    };
    for (const StallCase& c : {StallCase{u"/drip-one/ag.cgi", "digest dripping, a byte a second", 1},
                               StallCase{u"/drip-head/ag.cgi", "status line and headers dripping", 2},
                               StallCase{u"/drip-all/ag.cgi", "both pages dripping", 2}}) {
        const Refresh r = RefreshAgainst(tb, root + c.path);
        std::printf("window thread held by one refresh, %-34s %6.2f s\n", c.what, r.seconds);
        if (r.seconds > c.dripping * deadline + 3) ok = false;
    }

    const size_t fourMiB = size_t(4) << 20;
    struct MemoryCase {
        const char16_t* path;
        const char* what;
        size_t bytes;
    };
    for (const MemoryCase& c :
         {MemoryCase{u"/commas/ag.cgi", "4 MiB of commas, length announced", fourMiB},
          MemoryCase{u"/commas-open/ag.cgi", "4 MiB of commas, no length", fourMiB},
          MemoryCase{u"/largest/ag.cgi", "1 MiB of commas (the largest taken)", kMaxHttpBodyBytes},
          MemoryCase{u"/lines/ag.cgi", "1 MiB of one-field lines", kMaxHttpBodyBytes}}) {
        const Refresh r = RefreshAgainst(tb, root + c.path);
        const double ratio = static_cast<double>(r.heapPeak) / static_cast<double>(c.bytes);
        std::printf("heap peak of one refresh, %-38s %8.1f KiB  %.2f x the answer (%.2f s)\n", c.what,
                    r.heapPeak / 1024.0, ratio, r.seconds);
        if (c.bytes == fourMiB && ratio >= 3.0) ok = false;
    }

    toolbar.reset();
    reflector.Destroy();
    DestroyWindow(frame);
    browser->Release();
    OleUninitialize();
    return ok ? 0 : 1;
}
