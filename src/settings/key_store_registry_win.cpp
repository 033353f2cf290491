#include "settings/key_store_registry_win.h"

#include <algorithm>
#include <vector>

#include "support/unique_handle_win.h"

namespace tt {
namespace {

// A value or name that grows between the size query and the read is read again with a
// bigger buffer, a few times at most.
constexpr int kReadAttempts = 8;
// Key names are at most 255 characters.
constexpr DWORD kKeyNameChars = 256;

REGSAM Sam(KeyAccess access) {
    switch (access) {
        case KeyAccess::Read:
            return KEY_READ;
        case KeyAccess::ReadWrite:
            return KEY_READ | KEY_WRITE;
        case KeyAccess::All:
            return KEY_ALL_ACCESS;
    }
    return KEY_ALL_ACCESS;
}

std::unique_ptr<IKey> Wrap(unique_hkey key);

class CRegistryKey final : public IKey {
public:
    explicit CRegistryKey(unique_hkey key) : key_(std::move(key)) {}

    bool QueryValue(const std::u16string& name, uint32_t* type, std::vector<uint8_t>* data) override {
        DWORD size = 0;
        DWORD valueType = 0;
        if (RegQueryValueExW(key_.get(), Wide(name), nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS)
            return false;
        for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
            std::vector<uint8_t> buffer(std::max<DWORD>(size, 1));
            DWORD got = static_cast<DWORD>(buffer.size());
            LSTATUS rc = RegQueryValueExW(key_.get(), Wide(name), nullptr, &valueType, buffer.data(), &got);
            if (rc == ERROR_SUCCESS) {
                buffer.resize(std::min<size_t>(got, buffer.size()));
                *type = valueType;
                *data = std::move(buffer);
                return true;
            }
            if (rc != ERROR_MORE_DATA) return false;
            size = std::max<DWORD>(got, static_cast<DWORD>(buffer.size()) * 2);
        }
        return false;
    }

    bool SetValue(const std::u16string& name, uint32_t type, const std::vector<uint8_t>& data) override {
        return RegSetValueExW(key_.get(), Wide(name), 0, type, data.empty() ? nullptr : data.data(),
                              static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }

    bool DeleteValue(const std::u16string& name) override {
        return RegDeleteValueW(key_.get(), Wide(name)) == ERROR_SUCCESS;
    }

    bool EnumValue(uint32_t index, KeyValue* value) override {
        DWORD maxName = 0;
        DWORD maxData = 0;
        if (RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        DWORD nameChars = maxName + 1;
        DWORD dataBytes = std::max<DWORD>(maxData, 1);
        for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
            std::vector<wchar_t> nameBuffer(nameChars);
            std::vector<uint8_t> dataBuffer(dataBytes);
            DWORD nameLength = nameChars;
            DWORD dataLength = dataBytes;
            DWORD type = 0;
            LSTATUS rc = RegEnumValueW(key_.get(), index, nameBuffer.data(), &nameLength, nullptr, &type,
                                       dataBuffer.data(), &dataLength);
            if (rc == ERROR_SUCCESS) {
                value->name = FromWide(nameBuffer.data(), std::min<DWORD>(nameLength, nameChars));
                value->type = type;
                dataBuffer.resize(std::min<size_t>(dataLength, dataBuffer.size()));
                value->data = std::move(dataBuffer);
                return true;
            }
            if (rc != ERROR_MORE_DATA) return false;
            nameChars *= 2;
            dataBytes = std::max<DWORD>(dataLength, dataBytes * 2);
        }
        return false;
    }

    bool EnumSubkey(uint32_t index, std::u16string* name) override {
        DWORD maxSubkey = 0;
        if (RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        std::vector<wchar_t> buffer(std::max<DWORD>(kKeyNameChars, maxSubkey + 1));
        DWORD length = static_cast<DWORD>(buffer.size());
        if (RegEnumKeyExW(key_.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return false;
        *name = FromWide(buffer.data(), std::min<size_t>(length, buffer.size()));
        return true;
    }

    std::unique_ptr<IKey> OpenSubkey(const std::u16string& name, KeyAccess access) override {
        unique_hkey sub;
        if (RegOpenKeyExW(key_.get(), Wide(name), 0, Sam(access), sub.put()) != ERROR_SUCCESS) return nullptr;
        return Wrap(std::move(sub));
    }

    std::unique_ptr<IKey> CreateSubkey(const std::u16string& name) override {
        unique_hkey sub;
        if (RegCreateKeyExW(key_.get(), Wide(name), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, sub.put(),
                            nullptr) != ERROR_SUCCESS)
            return nullptr;
        return Wrap(std::move(sub));
    }

    bool DeleteSubkey(const std::u16string& name) override {
        return RegDeleteKeyW(key_.get(), Wide(name)) == ERROR_SUCCESS;
    }

    bool Flush() override { return RegFlushKey(key_.get()) == ERROR_SUCCESS; }

private:
    unique_hkey key_;
};

std::unique_ptr<IKey> Wrap(unique_hkey key) {
    if (!key) return nullptr;
    return std::make_unique<CRegistryKey>(std::move(key));
}

}  // namespace

std::unique_ptr<IKey> CRegistryKeyStore::OpenKey(const std::u16string& path, KeyAccess access) {
    unique_hkey key;
    if (RegOpenKeyExW(root_, Wide(path), 0, Sam(access), key.put()) != ERROR_SUCCESS) return nullptr;
    return Wrap(std::move(key));
}

std::unique_ptr<IKey> CRegistryKeyStore::CreateKey(const std::u16string& path) {
    unique_hkey key;
    if (RegCreateKeyExW(root_, Wide(path), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return Wrap(std::move(key));
}

IKeyStore& DefaultKeyStore() {
    static CRegistryKeyStore store(HKEY_CURRENT_USER);
    return store;
}

}  // namespace tt
