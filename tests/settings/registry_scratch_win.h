#pragma once
// A scratch key under HKCU\Software\TavelleTests for one test: the registry store rooted there
// sees "Software\Tavelle\TavelleToolbar" below it, away from the real settings key.
#include <windows.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "settings/key_store_registry_win.h"
#include "support/unique_handle_win.h"

namespace tt::testing {

class CScratchRegistry final : public IKeyStore {
public:
    explicit CScratchRegistry(const std::wstring& name) : path_(L"Software\\TavelleTests\\" + name) {
        Remove();
        RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, root_.put(),
                        nullptr);
        store_ = std::make_unique<CRegistryKeyStore>(root_.get());
    }
    ~CScratchRegistry() override {
        store_.reset();
        root_.reset();
        Remove();
    }

    bool ok() const { return static_cast<bool>(root_); }
    HKEY root() const { return root_.get(); }

    std::unique_ptr<IKey> OpenKey(const std::u16string& path, KeyAccess access) override {
        return store_->OpenKey(path, access);
    }
    std::unique_ptr<IKey> CreateKey(const std::u16string& path) override { return store_->CreateKey(path); }

    // Gives `path` (below the root) a DACL in SDDL form, e.g. "D:(A;;KR;;;WD)".
    bool SetDacl(const std::wstring& path, const wchar_t* sddl) {
        unique_hkey key;
        if (RegOpenKeyExW(root_.get(), path.c_str(), 0, WRITE_DAC | READ_CONTROL, key.put()) != ERROR_SUCCESS)
            return false;
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
            return false;
        unique_hlocal owner(sd);
        return RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    }

    // Deletes a tree, opening every key up again first: a test may have left a DACL that
    // denies deletion.
    static void RemoveTree(HKEY parent, const std::wstring& path) {
        AllowAll(parent, path);
        RegDeleteTreeW(parent, path.c_str());
    }

private:
    void Remove() { RemoveTree(HKEY_CURRENT_USER, path_); }

    static void AllowAll(HKEY parent, const std::wstring& path) {
        unique_hkey key;
        if (RegOpenKeyExW(parent, path.c_str(), 0, WRITE_DAC | READ_CONTROL, key.put()) != ERROR_SUCCESS)
            return;
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &sd,
                                                                 nullptr)) {
            unique_hlocal owner(sd);
            RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd);
        }
        unique_hkey readable;
        if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, readable.put()) != ERROR_SUCCESS) return;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(readable.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            AllowAll(readable.get(), name);
        }
    }

    std::wstring path_;
    unique_hkey root_;
    std::unique_ptr<CRegistryKeyStore> store_;
};

// A value read back with the registry API itself; type 0 when it cannot be read.
struct RegValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};

inline RegValue ReadRegValue(HKEY root, const std::wstring& path, const std::wstring& name) {
    RegValue v;
    unique_hkey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return v;
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return v;
    std::vector<BYTE> data(size + 1);
    DWORD got = size;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, data.data(), &got) != ERROR_SUCCESS)
        return v;
    data.resize(got);
    v.type = type;
    v.data = data;
    return v;
}

inline std::vector<BYTE> RegTextBytes(const std::wstring& text) {
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t));
}

// Counts of values and subkeys of a key; {-1, -1} when it cannot be opened.
inline std::pair<int, int> RegCounts(HKEY root, const std::wstring& path) {
    unique_hkey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {-1, -1};
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return {-1, -1};
    return {static_cast<int>(values), static_cast<int>(subkeys)};
}

}  // namespace tt::testing
