// tavelle_test_host.exe: a visible test browser window for trying the toolbar by hand and for
// the demo. Loads the toolbar module, attaches its helper object to the browser as the browser
// would, places the band when the helper object (or --show-band) asks for it, and navigates
// to the address given. Without --dll the band is the one built into this program.
//
//   tavelle_test_host.exe [--dll path] [--bho {clsid}] [--band {clsid}] [--show-band]
//                         [--no-tabs] [--quit-after ms] [--system-proxy] [--driver port]
//                         [--time-scale n] [url]
//
// --system-proxy: pages are fetched through the proxy of the user's Internet settings.
// --driver: a scripted session steers the window from 127.0.0.1:port (demo_driver_win.h); it
// may open further tabs of the same module.
// --time-scale: the module's timers run n times as often and its clock n times as fast
// (time_scale_win.h), for long runs in little time.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "host/demo_driver_win.h"
#include "host/host_session_win.h"
#include "host/host_tabs_win.h"
#include "host/host_window_win.h"
#include "host/time_scale_win.h"
#include "toolbar/band_win.h"

using tthost::ComPtr;

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

struct Args {
    std::wstring dll, bho, band, url;
    bool showBand = false;
    bool tabs = true;
    bool systemProxy = false;
    DWORD quitAfter = 0;
    unsigned short driverPort = 0;
    unsigned timeScale = 1;
};

Args Parse() {
    Args a;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto next = [&]() { return i + 1 < argc ? std::wstring(argv[++i]) : std::wstring(); };
        if (arg == L"--dll")
            a.dll = next();
        else if (arg == L"--bho")
            a.bho = next();
        else if (arg == L"--band")
            a.band = next();
        else if (arg == L"--show-band")
            a.showBand = true;
        else if (arg == L"--no-tabs")
            a.tabs = false;
        else if (arg == L"--quit-after")
            a.quitAfter = static_cast<DWORD>(_wtoi(next().c_str()));
        else if (arg == L"--system-proxy")
            a.systemProxy = true;
        else if (arg == L"--driver")
            a.driverPort = static_cast<unsigned short>(_wtoi(next().c_str()));
        else if (arg == L"--time-scale")
            a.timeScale = static_cast<unsigned>(_wtoi(next().c_str()));
        else
            a.url = arg;
    }
    LocalFree(argv);
    return a;
}

HRESULT CreateFromModule(HMODULE module, const std::wstring& clsidText, IUnknown** out) {
    *out = nullptr;
    if (!module) return E_FAIL;
    CLSID clsid;
    HRESULT hr = CLSIDFromString(clsidText.c_str(), &clsid);
    if (FAILED(hr)) return hr;
    auto get = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!get) return E_FAIL;
    ComPtr<IClassFactory> factory;
    hr = get(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(out));
}

void CALLBACK CloseOnTimer(HWND hwnd, UINT, UINT_PTR id, DWORD) {
    KillTimer(hwnd, id);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const Args args = Parse();
    OleInitialize(nullptr);
    HMODULE module = args.dll.empty() ? nullptr : LoadLibraryW(args.dll.c_str());
    if (module && args.timeScale > 1) tthost::RunModuleFaster(module, args.timeScale);
    int rc = 0;
    {
        tthost::HostWindowOptions options;
        options.visible = true;
        options.tabs = args.tabs;
        auto session = std::make_shared<tthost::HostSession>();
        session->UseSystemProxy(args.systemProxy);
        tthost::HostWindow host(options, session);
        // Declared before the driver, so that they outlive its commands.
        tthost::HostTabs tabs(
            [module, &args](bool band, IUnknown** object) {
                return CreateFromModule(module, band ? args.band : args.bho, object);
            },
            args.systemProxy);
        std::unique_ptr<tthost::DemoDriver> driver;
        if (args.driverPort) {
            driver = std::make_unique<tthost::DemoDriver>(host, args.driverPort);
            if (module) driver->SetTabs(&tabs);
        }
        host.SetBandFactory([module](const std::wstring& clsid, IUnknown** band) {
            if (!module)
                return tt::CreateTavelleToolbarBand(nullptr, IID_IUnknown, reinterpret_cast<void**>(band));
            return CreateFromModule(module, clsid, band);
        });
        ComPtr<IUnknown> bho;
        if (module && !args.bho.empty() &&
            SUCCEEDED(CreateFromModule(module, args.bho, bho.GetAddressOf()))) {
            ComPtr<IObjectWithSite> withSite;
            if (SUCCEEDED(bho.As(&withSite))) withSite->SetSite(static_cast<IWebBrowser2*>(host.Browser()));
        }
        if (args.showBand) {
            ComPtr<IUnknown> band;
            const HRESULT hr =
                module ? CreateFromModule(module, args.band, band.GetAddressOf())
                       : tt::CreateTavelleToolbarBand(nullptr, IID_IUnknown,
                                                      reinterpret_cast<void**>(band.GetAddressOf()));
            if (SUCCEEDED(hr)) host.AddBand(band.Get());
        }
        if (!args.url.empty()) host.Browser()->UserNavigate(args.url);
        if (args.quitAfter) SetTimer(host.Frame(), 1, args.quitAfter, CloseOnTimer);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (host.TranslateBandAccelerator(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        rc = static_cast<int>(msg.wParam);
        if (bho) {
            ComPtr<IObjectWithSite> withSite;
            if (SUCCEEDED(bho.As(&withSite))) withSite->SetSite(nullptr);
        }
    }
    OleUninitialize();
    // The module stays loaded: objects it handed out may be released during COM's shutdown.
    return rc;
}
