// How long the browser waits for the helper object: from LoadLibrary to an attached object
// (DllGetClassObject, CreateInstance, SetSite with the browser), next to the same steps for an
// empty in-process object built the same way (the floor). The browser is the test browser in
// a window; nothing here touches the network. The platform libraries a browser has loaded
// already are loaded first, as they are when the browser loads its add-ons.
//
//     attach_benchmark.exe [rounds]
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TavelleToolbarIE_h.h"
#include "host/browser_work_queue_win.h"
#include "host/fake_browser_win.h"

namespace {

// {3F1D6A52-8E0B-4C5F-9A41-7D2B6C0E9F13}
constexpr CLSID kClsidEmptyObject = {
    0x3f1d6a52, 0x8e0b, 0x4c5f, {0x9a, 0x41, 0x7d, 0x2b, 0x6c, 0x0e, 0x9f, 0x13}};

std::wstring BesideThisProgram(const wchar_t* relative) {
    wchar_t path[MAX_PATH * 2];
    GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    PathRemoveFileSpecW(path);
    wchar_t full[MAX_PATH * 2];
    GetFullPathNameW((std::wstring(path) + L"\\" + relative).c_str(), MAX_PATH * 2, full, nullptr);
    return full;
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Timing {
    double total = 0;  // LoadLibrary to attached
    double load = 0;   // LoadLibrary alone
};

// One load-and-attach; false on failure. The module is released and unloaded again
// afterwards (not timed).
bool AttachOnce(const std::wstring& dll, REFCLSID clsid, tthost::FakeBrowser* browser, Timing* timing) {
    double start = Now();
    HMODULE module = LoadLibraryW(dll.c_str());
    double loaded = Now();
    if (!module) return false;
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    IObjectWithSite* object = nullptr;
    HRESULT hr = get ? get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) : E_FAIL;
    if (SUCCEEDED(hr))
        hr = factory->CreateInstance(nullptr, IID_IObjectWithSite, reinterpret_cast<void**>(&object));
    if (SUCCEEDED(hr)) hr = object->SetSite(static_cast<IWebBrowser2*>(browser));
    timing->total = Now() - start;
    timing->load = loaded - start;

    browser->FireOnQuit();  // the browser's quit: the helper object lets go of its sink
    browser->ReleaseSinks();
    if (object) object->Release();
    if (factory) factory->Release();
    FreeLibrary(module);
    return SUCCEEDED(hr);
}

struct Result {
    double first = 0;         // the first round (nothing of the module cached yet)
    double median = 0;        // of all rounds
    double loadMedian = 0;    // LoadLibrary alone
    double attachMedian = 0;  // after LoadLibrary: class object, instance, SetSite
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool Measure(const std::wstring& dll, REFCLSID clsid, tthost::FakeBrowser* browser, int rounds,
             Result* result) {
    std::vector<double> totals, loads, attaches;
    for (int i = 0; i < rounds; ++i) {
        Timing t;
        if (!AttachOnce(dll, clsid, browser, &t)) {
            std::printf("attaching %ls failed\n", dll.c_str());
            return false;
        }
        totals.push_back(t.total);
        loads.push_back(t.load);
        attaches.push_back(t.total - t.load);
    }
    result->first = totals.front();
    result->median = Median(totals);
    result->loadMedian = Median(loads);
    result->attachMedian = Median(attaches);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int rounds = argc > 1 ? _wtoi(argv[1]) : 25;
    if (rounds < 1) rounds = 1;
    OleInitialize(nullptr);
    HWND window =
        CreateWindowW(L"STATIC", L"browser", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (!window) {
        std::printf("no window (no display?)\n");
        return 1;
    }
    tthost::ComPtr<tthost::FakeBrowser> browser = tthost::FakeBrowser::Create(nullptr, window);

    // The browser's process holds these platform libraries before any add-on loads; without
    // them each round would also time loading and unloading Wine's WinINet, urlmon and crypt32.
    const wchar_t* const kBrowsersLibraries[] = {L"wininet.dll", L"urlmon.dll",  L"comctl32.dll",
                                                 L"shell32.dll", L"shlwapi.dll", L"crypt32.dll",
                                                 L"version.dll", L"oleaut32.dll"};
    std::vector<HMODULE> held;
    for (const wchar_t* name : kBrowsersLibraries) {
        if (HMODULE library = LoadLibraryW(name)) held.push_back(library);
    }

    const std::wstring product = BesideThisProgram(L"..\\..\\src\\module\\TavelleToolbarIE.dll");
    const std::wstring floor = BesideThisProgram(L"empty_inproc.dll");
    Result p, f;
    if (!Measure(floor, kClsidEmptyObject, browser.Get(), rounds, &f)) return 1;
    if (!Measure(product, CLSID_TavelleBHO, browser.Get(), rounds, &p)) return 1;

    std::printf(
        "load-to-attached helper object, %d rounds (ms; median of LoadLibrary alone and of the steps after "
        "it):\n",
        rounds);
    for (const auto& [name, r] : {std::pair<const char*, Result>{"TavelleToolbarIE.dll", p},
                                  std::pair<const char*, Result>{"empty in-process object", f}}) {
        std::printf("  %-26s first %8.3f  median %8.3f  (LoadLibrary %8.3f, attach %7.3f)\n", name, r.first,
                    r.median, r.loadMedian, r.attachMedian);
    }
    std::printf("  ratio of medians %.2f (goal: within 2x of the floor and under 20 ms)\n",
                f.median > 0 ? p.median / f.median : 0.0);
    browser.Reset();
    for (HMODULE library : held) FreeLibrary(library);
    DestroyWindow(window);
    OleUninitialize();
    return 0;
}
