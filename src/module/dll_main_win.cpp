// The module's entry points. Nothing here starts a thread or touches the network: the browser
// times every add-on's load.
#include <windows.h>

#include "module/load_policy.h"
#include "module/module_win.h"
#include "support/fault_guard.h"
#include "support/threads.h"
#include "support/unique_handle_win.h"

namespace {
HMODULE g_module = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    // The process-wide state would be unguarded without its locks.
    if (tt::CriticalSectionSetupFailed()) return FALSE;
    bool refused = true;  // also when the check itself faults (out of memory)
    tt::GuardFaults([&] {
        wchar_t path[MAX_PATH];
        DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
        refused = n > 0 && tt::IsRefusedHostPath(tt::FromWide(path, n < MAX_PATH ? n : MAX_PATH - 1));
    });
    if (refused) return FALSE;
    g_module = module;
    DisableThreadLibraryCalls(module);
    return TRUE;
}

STDAPI DllCanUnloadNow() { return tt::CanUnloadModule(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    HRESULT hr = E_UNEXPECTED;
    tt::GuardFaults([&] { hr = tt::GetModuleClassObject(clsid, riid, ppv); });
    return hr;
}

STDAPI DllRegisterServer() {
    HRESULT hr = E_UNEXPECTED;
    tt::GuardFaults([&] { hr = tt::RegisterModuleServer(g_module); });
    return hr;
}

STDAPI DllUnregisterServer() {
    HRESULT hr = E_UNEXPECTED;
    tt::GuardFaults([&] { hr = tt::UnregisterModuleServer(g_module); });
    return hr;
}
