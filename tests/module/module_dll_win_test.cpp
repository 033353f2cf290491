// The built module as a host uses it: its exported entry points, its class objects and lock
// count, its self-registration through regsvr32, and its refusal to load into the shell.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <shlwapi.h>

#include <atomic>
#include <string>
#include <vector>

#include "TavelleToolbarIE_h.h"
#include "host/host_window_win.h"
#include "host/local_http_server_win.h"
#include "support/com_ptr_win.h"
#include "support/threads.h"
#include "support/unique_handle_win.h"

namespace {

// Beside this program: build/<arch>/tests/module/; the module: build/<arch>/src/module/.
std::wstring BuildPath(const wchar_t* relative) {
    wchar_t path[MAX_PATH * 2];
    GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    PathRemoveFileSpecW(path);
    std::wstring result = std::wstring(path) + L"\\" + relative;
    wchar_t full[MAX_PATH * 2];
    GetFullPathNameW(result.c_str(), MAX_PATH * 2, full, nullptr);
    return full;
}

std::wstring ModulePath() { return BuildPath(L"..\\..\\src\\module\\TavelleToolbarIE.dll"); }

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

DWORD RunProcess(const std::wstring& commandLine) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0xFFFFFFFE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// The module loaded into this process, with its four entry points.
class LoadedModule {
public:
    LoadedModule() : module_(LoadLibraryW(ModulePath().c_str())) {}
    ~LoadedModule() {
        if (module_) FreeLibrary(module_);
    }
    bool Loaded() const { return module_ != nullptr; }
    template <class F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HRESULT CanUnloadNow() const { return Get<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
        return Get<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, riid, ppv);
    }

private:
    HMODULE module_;
};

class ComThread : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

using ModuleEntryPoints = ComThread;

TEST_F(ModuleEntryPoints, ExportedByPlainName) {
    LoadedModule module;
    ASSERT_TRUE(module.Loaded()) << "error " << GetLastError();
    for (const char* name :
         {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}) {
        EXPECT_NE(nullptr, module.Get<void*>(name)) << name;
    }
}

TEST_F(ModuleEntryPoints, ClassObjectsApplyTheCreationRulesAndHoldTheModule) {
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());
    EXPECT_EQ(S_OK, module.CanUnloadNow());

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, module.GetClassObject(IID_IUnknown, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, module.GetClassObject(CLSID_TavelleBHO, IID_IClassFactory, nullptr));

    tt::com_ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, module.GetClassObject(CLSID_TavelleBHO, IID_IClassFactory, factory.put_void()));
    EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "a held class object keeps the module";

    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IObjectWithSite, nullptr));
    tt::com_ptr<IUnknown> outer;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IUnknown, outer.put_void()));
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.get(), IID_IObjectWithSite, &out));
    EXPECT_EQ(nullptr, out);

    // The helper object answers its interfaces, and its IUnknown is the same through each.
    tt::com_ptr<IObjectWithSite> bho;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IObjectWithSite, bho.put_void()));
    EXPECT_TRUE(bho.query<ITavelleBHO>());
    EXPECT_TRUE(bho.query<IDispatch>());
    EXPECT_TRUE(bho.query<IConnectionPointContainer>());
    EXPECT_FALSE(bho.query<IClassFactory>());
    EXPECT_TRUE(tt::IsSameObject(bho.get(), bho.query<IConnectionPointContainer>().get()));

    factory.reset();
    EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "a live helper object keeps the module";
    // A site that is no browser: nothing attaches.
    tt::com_ptr<IUnknown> notABrowser;
    CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                     notABrowser.put_void());
    EXPECT_EQ(E_INVALIDARG, bho->SetSite(notABrowser.get()));
    EXPECT_EQ(S_OK, bho->SetSite(nullptr));
    bho.reset();
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

TEST_F(ModuleEntryPoints, ToolbarClassObjectWhenTheBandIsBuilt) {
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());
    tt::com_ptr<IClassFactory> factory;
    HRESULT hr = module.GetClassObject(CLSID_TavelleToolbar, IID_IClassFactory, factory.put_void());
    ASSERT_EQ(S_OK, hr);
    tt::com_ptr<IUnknown> band;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, band.put_void()));
    EXPECT_EQ(S_FALSE, module.CanUnloadNow());
    factory.reset();
    band.reset();
    EXPECT_EQ(S_OK, module.CanUnloadNow());
}

// ---- a background request keeps the module

// The update server, slow: a request for the version file waits until released. WinINet reaches
// it as the proxy of this user, whatever host the module asks for; the proxy setting is put
// back afterwards.
class SlowUpdateServer {
public:
    SlowUpdateServer() {
        // The module's address of the version file, as a proxy is asked for it (Wine adds the port).
        for (const char* target : {"http://toolbar-update.tavelle.example/tools/toolbar/ie-version.txt",
                                   "http://toolbar-update.tavelle.example:80/tools/toolbar/ie-version.txt"}) {
            server_.Route(target, [this](const tthost::ServedRequest&) {
                ++asked_;
                release_.Wait(30000);
                return tthost::ServedAnswer{200, {{"Content-Type", "text/plain"}}, "LatestVersion=0.0.1\n"};
            });
        }
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                        0, nullptr, 0, KEY_ALL_ACCESS, nullptr, settings_.put(), nullptr);
        DWORD size = sizeof savedEnable_;
        hadEnable_ = RegQueryValueExW(settings_.get(), L"ProxyEnable", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&savedEnable_), &size) == ERROR_SUCCESS;
        const DWORD on = 1;
        const std::wstring proxy = L"127.0.0.1:" + std::to_wstring(server_.Port());
        RegSetValueExW(settings_.get(), L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                       sizeof on);
        RegSetValueExW(settings_.get(), L"ProxyServer", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(proxy.c_str()),
                       static_cast<DWORD>((proxy.size() + 1) * sizeof(wchar_t)));
    }
    ~SlowUpdateServer() {
        release_.Set();
        if (hadEnable_) {
            RegSetValueExW(settings_.get(), L"ProxyEnable", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&savedEnable_), sizeof savedEnable_);
        } else {
            RegDeleteValueW(settings_.get(), L"ProxyEnable");
        }
    }
    bool Started() const { return server_.Started(); }
    int Asked() const { return asked_; }
    void Release() { release_.Set(); }

private:
    tt::unique_hkey settings_;
    bool hadEnable_ = false;
    DWORD savedEnable_ = 0;
    tt::ManualResetEvent release_;
    std::atomic<int> asked_{0};
    tthost::LocalHttpServer server_;  // last: it goes first, before the event its handler waits on
};

// Starts the manual update check from the toolbar's menu in the module, and lets go of every
// object of the module again.
void StartUpdateCheckThenLetGo(const LoadedModule& module, const SlowUpdateServer& server) {
    tt::com_ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, module.GetClassObject(CLSID_TavelleToolbar, IID_IClassFactory, factory.put_void()));
    tthost::ComPtr<IUnknown> band;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(band.GetAddressOf())));
    tthost::HostWindow host;
    ASSERT_EQ(S_OK, host.AddBand(band.Get()));
    SendMessageW(host.Bands()[0].window, WM_COMMAND, MAKEWPARAM(257, 0), 0);  // 更新をチェックする
    for (int i = 0; i < 500 && server.Asked() == 0; ++i) Sleep(20);
    ASSERT_GT(server.Asked(), 0) << "the check reached the update server";
    host.RemoveBands();
    band.Reset();
    factory.reset();
}

// The notice the check shows when the answer comes; closing it ends the check's thread.
void CloseUpdateNotice() {
    for (int i = 0; i < 500; ++i) {
        if (HWND notice = FindWindowW(L"#32770", L"Tavelle ツールバーの更新")) {
            PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return;
        }
        Sleep(20);
    }
    ADD_FAILURE() << "no update notice";
}

using BackgroundRequest = ComThread;

TEST_F(BackgroundRequest, KeepsTheModuleWhileItRunsEvenWhenTheBrowserLetsGo) {
    {
        SlowUpdateServer server;
        ASSERT_TRUE(server.Started());
        LoadedModule module;
        ASSERT_TRUE(module.Loaded());
        ASSERT_NO_FATAL_FAILURE(StartUpdateCheckThenLetGo(module, server));
        EXPECT_EQ(S_FALSE, module.CanUnloadNow()) << "no object is left, but the check runs";
        server.Release();
        CloseUpdateNotice();
        HRESULT canUnload = S_FALSE;
        for (int i = 0; i < 500 && (canUnload = module.CanUnloadNow()) != S_OK; ++i) Sleep(20);
        EXPECT_EQ(S_OK, canUnload) << "the check is over";
    }

    // The browser unloads the module under a running check: the code stays until the thread
    // has left it, then the module goes.
    SlowUpdateServer server;
    ASSERT_TRUE(server.Started());
    const std::wstring path = ModulePath();
    {
        LoadedModule module;
        ASSERT_NO_FATAL_FAILURE(StartUpdateCheckThenLetGo(module, server));
    }
    EXPECT_NE(nullptr, GetModuleHandleW(path.c_str())) << "the thread holds the module";
    server.Release();
    CloseUpdateNotice();
    bool unloaded = false;
    for (int i = 0; i < 500 && !(unloaded = GetModuleHandleW(path.c_str()) == nullptr); ++i) Sleep(20);
    EXPECT_TRUE(unloaded) << "the thread gave the module back as it ended";
}

// ---- registration

std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* value, bool* found = nullptr) {
    wchar_t data[1024];
    DWORD size = sizeof data;
    DWORD type = 0;
    LSTATUS rc = RegGetValueW(root, key.c_str(), value, RRF_RT_ANY, &type, data, &size);
    if (found) *found = rc == ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return L"<missing>";
    if (type != REG_SZ) return L"<not REG_SZ>";
    return data;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    tt::unique_hkey k;
    return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS;
}

// Every value and subkey below a key, as "path\[value]=data" lines (sorted by the registry).
void Dump(HKEY root, const std::wstring& key, std::vector<std::wstring>* lines) {
    tt::unique_hkey k;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return;
    lines->push_back(key);
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[2048];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(k.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        std::wstring text =
            type == REG_SZ ? reinterpret_cast<wchar_t*>(data) : L"<type " + std::to_wstring(type) + L">";
        lines->push_back(key + L"\\[" + name + L"]=" + text);
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(k.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    for (const std::wstring& sub : subkeys) Dump(root, key + L"\\" + sub, lines);
}

std::vector<std::wstring> Snapshot() {
    std::vector<std::wstring> lines;
    const std::wstring bho = GuidText(CLSID_TavelleBHO), band = GuidText(CLSID_TavelleToolbar);
    for (const std::wstring& key :
         {L"CLSID\\" + bho, L"CLSID\\" + band, std::wstring(L"TavelleToolbarIE.TavelleBHO"),
          std::wstring(L"TavelleToolbarIE.TavelleBHO.1"), std::wstring(L"TavelleToolbarIE.TavelleToolbar"),
          std::wstring(L"TavelleToolbarIE.TavelleToolbar.1"), std::wstring(L"AppID\\TavelleToolbarIE.DLL"),
          std::wstring(L"AppID\\{686E2BB5-A07B-4FAF-8E4A-6ECEF26ED4C4}"),
          L"TypeLib\\" + GuidText(LIBID_TavelleToolbarIELib), L"Interface\\" + GuidText(IID_ITavelleBHO),
          L"Interface\\" + GuidText(IID_ITavelleToolbar)}) {
        Dump(HKEY_CLASSES_ROOT, key, &lines);
    }
    Dump(HKEY_LOCAL_MACHINE,
         L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + bho, &lines);
    bool found = false;
    std::wstring toolbar = ReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar",
                                      band.c_str(), &found);
    if (found) lines.push_back(L"Toolbar\\[" + band + L"]=" + toolbar);
    return lines;
}

std::string Narrow(const std::vector<std::wstring>& lines) {
    std::string out;
    for (const std::wstring& l : lines) {
        char buf[4096];
        WideCharToMultiByte(CP_UTF8, 0, l.c_str(), -1, buf, sizeof buf, nullptr, nullptr);
        out += buf;
        out += "\n";
    }
    return out;
}

class Registration : public ComThread {
protected:
    DWORD Regsvr32(const wchar_t* flags) {
        return RunProcess(std::wstring(L"regsvr32.exe ") + flags + L" \"" + ModulePath() + L"\"");
    }
};

TEST_F(Registration, Regsvr32WritesTheScriptsKeysAndTheTypeLibrary) {
    ASSERT_EQ(0u, Regsvr32(L"/s"));
    const std::wstring bho = GuidText(CLSID_TavelleBHO);
    const std::wstring band = GuidText(CLSID_TavelleToolbar);
    const std::wstring lib = GuidText(LIBID_TavelleToolbarIELib);
    const std::wstring appid = L"{686E2BB5-A07B-4FAF-8E4A-6ECEF26ED4C4}";
    const std::wstring module = ModulePath();

    // Script 101.
    EXPECT_EQ(L"TavelleToolbarIE", ReadString(HKEY_CLASSES_ROOT, L"AppID\\" + appid, nullptr));
    EXPECT_EQ(appid, ReadString(HKEY_CLASSES_ROOT, L"AppID\\TavelleToolbarIE.DLL", L"AppID"));

    // Script 102.
    EXPECT_EQ(L"Tavelle BHO", ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleBHO.1", nullptr));
    EXPECT_EQ(bho, ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleBHO.1\\CLSID", nullptr));
    EXPECT_EQ(L"Tavelle BHO", ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleBHO", nullptr));
    EXPECT_EQ(bho, ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleBHO\\CLSID", nullptr));
    EXPECT_EQ(L"TavelleToolbarIE.TavelleBHO.1",
              ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleBHO\\CurVer", nullptr));
    const std::wstring bhoKey = L"CLSID\\" + bho;
    EXPECT_EQ(L"Tavelle BHO", ReadString(HKEY_CLASSES_ROOT, bhoKey, nullptr));
    EXPECT_EQ(L"TavelleToolbarIE.TavelleBHO.1", ReadString(HKEY_CLASSES_ROOT, bhoKey + L"\\ProgID", nullptr));
    EXPECT_EQ(L"TavelleToolbarIE.TavelleBHO",
              ReadString(HKEY_CLASSES_ROOT, bhoKey + L"\\VersionIndependentProgID", nullptr));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, bhoKey + L"\\Programmable"));
    EXPECT_EQ(module, ReadString(HKEY_CLASSES_ROOT, bhoKey + L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"Apartment", ReadString(HKEY_CLASSES_ROOT, bhoKey + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(appid, ReadString(HKEY_CLASSES_ROOT, bhoKey, L"AppID"));
    EXPECT_EQ(lib, ReadString(HKEY_CLASSES_ROOT, bhoKey + L"\\TypeLib", nullptr));
    EXPECT_EQ(
        L"TavelleToolbar BHO",
        ReadString(HKEY_LOCAL_MACHINE,
                   L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + bho,
                   nullptr));

    // Script 103, with its Japanese names.
    EXPECT_EQ(L"Tavelle ツールバー",
              ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleToolbar.1", nullptr));
    EXPECT_EQ(band, ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleToolbar.1\\CLSID", nullptr));
    EXPECT_EQ(L"Tavelle ツールバー",
              ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleToolbar", nullptr));
    EXPECT_EQ(L"TavelleToolbarIE.TavelleToolbar.1",
              ReadString(HKEY_CLASSES_ROOT, L"TavelleToolbarIE.TavelleToolbar\\CurVer", nullptr));
    const std::wstring bandKey = L"CLSID\\" + band;
    EXPECT_EQ(L"Tavelle ツールバー", ReadString(HKEY_CLASSES_ROOT, bandKey, nullptr));
    EXPECT_EQ(L"{00021494-0000-0000-C000-000000000046}",
              ReadString(HKEY_CLASSES_ROOT, bandKey + L"\\Implemented Categories", nullptr));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT,
                           bandKey + L"\\Implemented Categories\\{00021494-0000-0000-C000-000000000046}"));
    EXPECT_EQ(module, ReadString(HKEY_CLASSES_ROOT, bandKey + L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"Apartment", ReadString(HKEY_CLASSES_ROOT, bandKey + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(lib, ReadString(HKEY_CLASSES_ROOT, bandKey + L"\\TypeLib", nullptr));
    EXPECT_EQ(
        L"Tavelle Toolbar",
        ReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar", band.c_str()));

    // The type library, registered from the module itself.
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + lib + L"\\1.0"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(IID_ITavelleBHO)));
    tt::com_ptr<ITypeLib> registered;
    ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_TavelleToolbarIELib, 1, 0, 0, registered.put()));

    // Registering again changes nothing.
    std::vector<std::wstring> first = Snapshot();
    ASSERT_EQ(0u, Regsvr32(L"/s"));
    EXPECT_EQ(Narrow(first), Narrow(Snapshot()));
}

TEST_F(Registration, UnregisterRemovesTheClassesButKeepsTheSharedParents) {
    ASSERT_EQ(0u, Regsvr32(L"/s"));
    // Another product's helper object and toolbar value share the parents.
    const std::wstring bhoParent =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
    const std::wstring toolbarKey = L"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
    const std::wstring other = L"{0A1B2C3D-0000-4000-8000-00000000000A}";
    tt::unique_hkey k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, (bhoParent + L"\\" + other).c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, toolbarKey.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, k.put(), nullptr));
    const wchar_t otherName[] = L"Other";
    RegSetValueExW(k.get(), other.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(otherName),
                   sizeof otherName);
    k.reset();

    ASSERT_EQ(0u, Regsvr32(L"/u /s"));
    EXPECT_EQ("", Narrow(Snapshot())) << "every key of the module is gone";
    for (const wchar_t* parent : {L"AppID", L"CLSID"})
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, parent)) << parent;
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, bhoParent + L"\\" + other));
    EXPECT_EQ(L"Other", ReadString(HKEY_LOCAL_MACHINE, toolbarKey, other.c_str()));
    tt::com_ptr<ITypeLib> registered;
    EXPECT_NE(S_OK, LoadRegTypeLib(LIBID_TavelleToolbarIELib, 1, 0, 0, registered.put()));

    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (bhoParent + L"\\" + other).c_str());
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, toolbarKey.c_str(), other.c_str());
}

// ---- the type library's texts

TEST_F(ComThread, TypeLibraryDescribesTheClassesWithTheirHelpTexts) {
    tt::com_ptr<ITypeLib> library;
    ASSERT_EQ(S_OK, LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, library.put()));
    struct Expected {
        const GUID* guid;
        const wchar_t* name;
        const wchar_t* help;
        TYPEKIND kind;
    };
    const Expected expected[] = {
        {&IID_ITavelleBHO, L"ITavelleBHO", L"ITavelleBHO インターフェイス", TKIND_DISPATCH},
        {&DIID__ITavelleBHOEvents, L"_ITavelleBHOEvents", L"_ITavelleBHOEvents インターフェイス",
         TKIND_DISPATCH},
        {&CLSID_TavelleBHO, L"TavelleBHO", L"TavelleBHO Class", TKIND_COCLASS},
        {&IID_ITavelleToolbar, L"ITavelleToolbar", L"ITavelleToolbar インターフェイス", TKIND_DISPATCH},
        {&DIID__ITavelleToolbarEvents, L"_ITavelleToolbarEvents", L"_ITavelleToolbarEvents インターフェイス",
         TKIND_DISPATCH},
        {&CLSID_TavelleToolbar, L"TavelleToolbar", L"TavelleToolbar Class", TKIND_COCLASS},
    };
    for (const Expected& e : expected) {
        tt::com_ptr<ITypeInfo> info;
        ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(*e.guid, info.put())) << e.name;
        BSTR name = nullptr, help = nullptr;
        ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr));
        tt::unique_bstr n(name), h(help);
        EXPECT_STREQ(e.name, name);
        EXPECT_STREQ(e.help, help) << "help text of " << e.name;
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
        EXPECT_EQ(e.kind, attr->typekind) << e.name;
        if (e.kind == TKIND_COCLASS) {
            EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE) << e.name;
        }
        info->ReleaseTypeAttr(attr);
    }
    BSTR help = nullptr;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, nullptr, &help, nullptr, nullptr));
    tt::unique_bstr h(help);
    EXPECT_STREQ(L"TavelleToolbarIE 1.0 タイプ ライブラリ", help);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    library->ReleaseTLibAttr(attr);
}

// ---- the shell is refused

std::wstring TempFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"tt_load_probe";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring rest = name;
    for (size_t start = 0; start <= rest.size();) {
        size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos) end = rest.size();
        folder += L"\\" + rest.substr(start, end - start);
        CreateDirectoryW(folder.c_str(), nullptr);
        start = end + 1;
    }
    return folder;
}

DWORD LoadAs(const wchar_t* folder, const wchar_t* exeName) {
    std::wstring exe = TempFolder(folder) + L"\\" + exeName;
    if (!CopyFileW(BuildPath(L"load_probe.exe").c_str(), exe.c_str(), FALSE)) return 0xFFFFFFFD;
    DWORD code = RunProcess(L"\"" + exe + L"\" \"" + ModulePath() + L"\"");
    DeleteFileW(exe.c_str());
    return code;
}

TEST(LoadRefusal, ShellInAnyLetterCaseIsRefusedTheBrowserIsNot) {
    EXPECT_EQ(1u, LoadAs(L"Windows", L"explorer.exe"));
    EXPECT_EQ(1u, LoadAs(L"WINDOWS", L"EXPLORER.EXE"));
    EXPECT_EQ(1u, LoadAs(L"Shell", L"Explorer.Exe"));
    EXPECT_EQ(0u, LoadAs(L"Program Files\\Internet Explorer", L"iexplore.exe"));
    EXPECT_EQ(0u, LoadAs(L"Program Files\\Internet Explorer", L"IEXPLORE.EXE"));
    EXPECT_EQ(0u, LoadAs(L"Tools", L"load_probe.exe"));
}

}  // namespace
