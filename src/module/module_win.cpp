#include "module/module_win.h"

#include <oleauto.h>

#include <string>

#include "TavelleToolbarIE_h.h"
#include "browser/auto_setting_prompts_win.h"
#include "browser/tavelle_bho_win.h"
#include "module/registrar_win.h"
#include "support/com_ptr_win.h"
#include "support/threads.h"
#include "support/unique_handle_win.h"
#include "support/utf.h"
#include "toolbar/band_win.h"
#include "toolbar/options_dialog_win.h"

namespace tt {
namespace {

void OpenOptionsDialog() { ShowOptionsDialog(std::u16string()); }

// The helper object offers the options dialog after storing a server address; the dialog
// belongs to the toolbar, so the helper object gets it from here.
HRESULT CreateHelperObject(IUnknown* outer, REFIID riid, void** ppv) {
    SetOptionsOpener(&OpenOptionsDialog);
    return CreateTavelleBHO(outer, riid, ppv);
}

const ModuleClassEntry kClassTable[] = {
    {&CLSID_TavelleBHO, &CreateHelperObject, kRegistryScriptBho},
    {&CLSID_TavelleToolbar, &CreateTavelleToolbarBand, kRegistryScriptToolbar},
};

std::u16string ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameW(module, path, static_cast<DWORD>(std::size(path)));
    if (n == 0 || n >= std::size(path)) return {};
    return FromWide(path, n);
}

// The scripts are UTF-8 in the resources; the registrar gets them as UTF-16 text, so no code
// page stands between the Japanese names and the registry.
bool LoadRegistryScript(HMODULE module, UINT id, std::u16string* script) {
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
    if (!info) return false;
    HGLOBAL data = LoadResource(module, info);
    DWORD size = SizeofResource(module, info);
    const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    if (!bytes) return false;
    std::string text(bytes, size);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    *script = Utf8ToUtf16(text);
    return true;
}

// The thread locale is the system's while registration runs, and restored after.
class SystemThreadLocale {
public:
    SystemThreadLocale() : saved_(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemThreadLocale() { SetThreadLocale(saved_); }

private:
    LCID saved_;
};

HRESULT RegisterTypeLibrary(HMODULE module) {
    std::u16string path = ModulePath(module);
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    com_ptr<ITypeLib> library;
    TT_RETURN_IF_FAILED(LoadTypeLibEx(Wide(path), REGKIND_NONE, library.put()));
    return RegisterTypeLib(library.get(), const_cast<wchar_t*>(Wide(path)), nullptr);
}

HRESULT UnregisterTypeLibrary(HMODULE module) {
    std::u16string path = ModulePath(module);
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    com_ptr<ITypeLib> library;
    TT_RETURN_IF_FAILED(LoadTypeLibEx(Wide(path), REGKIND_NONE, library.put()));
    TLIBATTR* attr = nullptr;
    TT_RETURN_IF_FAILED(library->GetLibAttr(&attr));
    HRESULT hr =
        UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    library->ReleaseTLibAttr(attr);
    return hr;
}

HRESULT RegisterClassTable(HMODULE module, bool registering) {
    for (const ModuleClassEntry& entry : kClassTable) {
        TT_RETURN_IF_FAILED(RunRegistryScript(module, entry.registryScript, registering, true));
    }
    return registering ? RegisterTypeLibrary(module) : UnregisterTypeLibrary(module);
}

}  // namespace

const ModuleClassEntry* ModuleClassTable(size_t* count) {
    *count = std::size(kClassTable);
    return kClassTable;
}

HRESULT GetModuleClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const ModuleClassEntry& entry : kClassTable) {
        if (IsEqualCLSID(clsid, *entry.clsid)) return com::CreateClassFactory(entry.create, riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

// A background thread (an update check may wait hours in its notice) keeps the module too.
HRESULT CanUnloadModule() {
    return com::ModuleLockCount() == 0 && RunningDetachedThreads() == 0 ? S_OK : S_FALSE;
}

HRESULT RunRegistryScript(HMODULE module, UINT scriptId, bool registering, bool withModule) {
    std::u16string script;
    if (!LoadRegistryScript(module, scriptId, &script))
        return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    ComApartment apartment;
    com_ptr<IRegistrar> registrar;
    TT_RETURN_IF_FAILED(CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, kIidRegistrar,
                                         registrar.put_void()));
    TT_RETURN_IF_FAILED(registrar->AddReplacement(L"APPID", kModuleAppIdText));
    if (withModule) {
        std::u16string path = ModulePath(module);
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
        TT_RETURN_IF_FAILED(registrar->AddReplacement(L"MODULE", Wide(DoubleEach(path, u'\''))));
    }
    return registering ? registrar->StringRegister(Wide(script)) : registrar->StringUnregister(Wide(script));
}

HRESULT RegisterModuleServer(HMODULE module) {
    SystemThreadLocale locale;
    HRESULT hr = RunRegistryScript(module, kRegistryScriptAppId, true, false);
    if (SUCCEEDED(hr)) hr = RegisterClassTable(module, true);
    return hr;
}

// Wine's registrar leaves a named value inside a NoRemove key on unregistration; the band's value
// under the browser's toolbar key must go with the module all the same.
void RemoveToolbarValue() {
    wchar_t clsid[40] = {};
    if (!StringFromGUID2(CLSID_TavelleToolbar, clsid, 40)) return;
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar", 0,
                      KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key.get(), clsid);
    RegFlushKey(key.get());
}

HRESULT UnregisterModuleServer(HMODULE module) {
    SystemThreadLocale locale;
    HRESULT hr = RegisterClassTable(module, false);
    if (SUCCEEDED(hr)) RemoveToolbarValue();
    if (SUCCEEDED(hr)) hr = RunRegistryScript(module, kRegistryScriptAppId, false, false);
    return hr;
}

}  // namespace tt
