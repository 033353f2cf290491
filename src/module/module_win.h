#pragma once
// The module's class table, its class objects and its self-registration.
#include <windows.h>

#include <cstddef>

#include "resources/resource_ids.h"
#include "support/com_object_win.h"

namespace tt {

// The application id of the module, in registry string form (replacement "APPID").
constexpr wchar_t kModuleAppIdText[] = L"{686E2BB5-A07B-4FAF-8E4A-6ECEF26ED4C4}";

// Registry scripts (resource type REGISTRY).
constexpr UINT kRegistryScriptAppId = IDR_REGISTRY_APPID;
constexpr UINT kRegistryScriptBho = IDR_REGISTRY_BHO;
constexpr UINT kRegistryScriptToolbar = IDR_REGISTRY_TOOLBAR;

// One creatable class: its id, how to create it, and the script that registers it.
struct ModuleClassEntry {
    const CLSID* clsid;
    com::CreatorFunction create;
    UINT registryScript;
};

// The class table, in order: the browser helper object, then the toolbar band.
const ModuleClassEntry* ModuleClassTable(size_t* count);

// A new class object of the class with that id; CLASS_E_CLASSNOTAVAILABLE for others.
HRESULT GetModuleClassObject(REFCLSID clsid, REFIID riid, void** ppv);

// S_OK when no object, class object, server lock or background thread of the module is alive,
// else S_FALSE.
HRESULT CanUnloadModule();

// Registration of the module whose resources hold the scripts and the type library: script
// 101 first, then each class's script and the type library. Unregistration runs the other
// way. Each returns the first failure or S_OK, with the thread locale set to the system's
// while it runs.
HRESULT RegisterModuleServer(HMODULE module);
HRESULT UnregisterModuleServer(HMODULE module);

// Runs one registry script of the module through the platform's registrar, with the
// replacements "APPID" and (when withModule) "MODULE".
HRESULT RunRegistryScript(HMODULE module, UINT scriptId, bool registering, bool withModule);

}  // namespace tt
