#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tt {

// Registry value types, with the registry's own numbers.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// The access a key is opened with: KEY_READ, KEY_READ | KEY_WRITE, KEY_ALL_ACCESS.
enum class KeyAccess { Read, ReadWrite, All };

// One value as the store holds it: its type and its raw bytes.
struct KeyValue {
    std::u16string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// An open key. Destroying it closes it. Every operation reports only success or failure:
// the settings logic skips a failed step and never needs the reason.
class IKey {
public:
    virtual ~IKey() = default;

    // The whole value, however long; false when it is missing or cannot be read.
    virtual bool QueryValue(const std::u16string& name, uint32_t* type, std::vector<uint8_t>* data) = 0;
    virtual bool SetValue(const std::u16string& name, uint32_t type, const std::vector<uint8_t>& data) = 0;
    virtual bool DeleteValue(const std::u16string& name) = 0;
    // The value at index (from 0), name and data whole; false ends an enumeration.
    virtual bool EnumValue(uint32_t index, KeyValue* value) = 0;
    // The subkey name at index (from 0); false ends an enumeration.
    virtual bool EnumSubkey(uint32_t index, std::u16string* name) = 0;

    // Fails when the subkey is missing or the access is not granted.
    virtual std::unique_ptr<IKey> OpenSubkey(const std::u16string& name, KeyAccess access) = 0;
    // Opens the subkey for reading and writing, creating it when it is missing.
    virtual std::unique_ptr<IKey> CreateSubkey(const std::u16string& name) = 0;
    // Deletes a subkey that has no subkeys of its own (as RegDeleteKeyW does).
    virtual bool DeleteSubkey(const std::u16string& name) = 0;
    virtual bool Flush() = 0;
};

// A per-user hierarchical key store: the current user's registry hive on Windows.
// Paths are relative to the store's root and use backslashes.
class IKeyStore {
public:
    virtual ~IKeyStore() = default;
    virtual std::unique_ptr<IKey> OpenKey(const std::u16string& path, KeyAccess access) = 0;
    // Opens the key for reading and writing, creating it (and its parents) when missing.
    virtual std::unique_ptr<IKey> CreateKey(const std::u16string& path) = 0;
};

// The platform's store: HKEY_CURRENT_USER on Windows, a process-wide in-memory store elsewhere.
IKeyStore& DefaultKeyStore();

// The path of the settings key (string 502).
std::u16string SettingsKeyPath();

// Opens the settings key for full access, or creates it; null when both fail.
std::unique_ptr<IKey> OpenOrCreateSettingsKey(IKeyStore& store);

// Deletes a subkey with everything below it, depth first. A missing subkey is no error.
void DeleteKeyTree(IKey& parent, const std::u16string& name);

// Writes values into the subkey `name` (created when missing) in the order given. With prune,
// the names not among them and anything below the subkey go afterwards. A reader meanwhile
// finds every entry, old or new: never an empty or half-written key, as deleting the subkey
// and writing it anew would show. Without prune (the caller's values were not read from the
// subkey) nothing stored is removed. False when the subkey cannot be opened for writing.
bool RewriteSubkey(IKey& parent, const std::u16string& name, const std::vector<KeyValue>& values, bool prune);

// Value encodings: text as UTF-16 with its terminator ((length + 1) * 2 bytes), DWORD as
// four little-endian bytes.
std::vector<uint8_t> TextValueBytes(const std::u16string& text);
std::vector<uint8_t> DwordValueBytes(uint32_t value);
// Bytes as UTF-16 text up to the first zero character, bounded by the bytes (an odd last
// byte is ignored).
std::u16string TextFromValueBytes(const std::vector<uint8_t>& data);

// Typed reads that treat a value of another type or size as absent.
bool QueryDword(IKey& key, const std::u16string& name, uint32_t* value);
// REG_SZ or REG_EXPAND_SZ, as TextFromValueBytes reads it: with or without its terminator.
bool QueryString(IKey& key, const std::u16string& name, std::u16string* text);

bool SetDword(IKey& key, const std::u16string& name, uint32_t value);
bool SetString(IKey& key, const std::u16string& name, const std::u16string& text);

}  // namespace tt
