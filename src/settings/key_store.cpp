#include "settings/key_store.h"

#include <algorithm>

#include "resources/string_table.h"
#include "support/utf.h"
#include "string_ids.h"

namespace tt {
namespace {

bool DeleteTree(IKey& parent, const std::u16string& name) {
    if (auto child = parent.OpenSubkey(name, KeyAccess::ReadWrite)) {
        // Each deletion moves the next subkey down to the same index; one that cannot be
        // deleted is stepped over so the loop ends.
        uint32_t index = 0;
        std::u16string sub;
        while (child->EnumSubkey(index, &sub)) {
            if (!DeleteTree(*child, sub)) ++index;
        }
    }  // closed before the key itself is deleted
    return parent.DeleteSubkey(name);
}

}  // namespace

std::u16string SettingsKeyPath() { return LoadResourceString(kSettingsKeyPath); }

std::unique_ptr<IKey> OpenOrCreateSettingsKey(IKeyStore& store) {
    std::u16string path = SettingsKeyPath();
    // Without its path the key would be the hive's root; nothing is written there.
    if (path.empty()) return nullptr;
    if (auto key = store.OpenKey(path, KeyAccess::All)) return key;
    return store.CreateKey(path);
}

void DeleteKeyTree(IKey& parent, const std::u16string& name) {
    // An empty name is the parent itself, which this never deletes.
    if (!name.empty()) DeleteTree(parent, name);
}

bool RewriteSubkey(IKey& parent, const std::u16string& name, const std::vector<KeyValue>& values,
                   bool prune) {
    if (name.empty()) return false;
    auto sub = parent.CreateSubkey(name);
    if (!sub) return false;
    for (const KeyValue& v : values) sub->SetValue(v.name, v.type, v.data);
    if (prune) {
        // Names compare as the store compares them: letter case aside.
        auto fold = [](std::u16string s) {
            for (char16_t& c : s) c = AsciiLower(c);
            return s;
        };
        std::vector<std::u16string> wanted;
        wanted.reserve(values.size());
        for (const KeyValue& v : values) wanted.push_back(fold(v.name));
        std::sort(wanted.begin(), wanted.end());
        // Collected first: deleting while enumerating would skip names.
        std::vector<std::u16string> stale;
        KeyValue existing;
        for (uint32_t i = 0; sub->EnumValue(i, &existing); ++i) {
            if (!std::binary_search(wanted.begin(), wanted.end(), fold(existing.name)))
                stale.push_back(existing.name);
        }
        for (const auto& s : stale) sub->DeleteValue(s);
        std::vector<std::u16string> below;
        std::u16string child;
        for (uint32_t i = 0; sub->EnumSubkey(i, &child); ++i) below.push_back(child);
        for (const auto& c : below) DeleteKeyTree(*sub, c);
    }
    sub->Flush();
    return true;
}

std::vector<uint8_t> TextValueBytes(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::vector<uint8_t> DwordValueBytes(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)};
}

std::u16string TextFromValueBytes(const std::vector<uint8_t>& data) {
    // Sized once: the decrypted password passes through here, and a growing string would leave
    // copies of its beginning in freed blocks that no one wipes.
    std::u16string text;
    text.reserve(data.size() / 2);
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

bool QueryDword(IKey& key, const std::u16string& name, uint32_t* value) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!key.QueryValue(name, &type, &data)) return false;
    if (type != kRegDword || data.size() != 4) return false;
    *value = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
             (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
    return true;
}

bool QueryString(IKey& key, const std::u16string& name, std::u16string* text) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!key.QueryValue(name, &type, &data)) return false;
    if (type != kRegSz && type != kRegExpandSz) return false;
    // Text stored without its terminator (a .reg file, another tool) is still the text: it
    // ends with its bytes, as the parameters are read.
    *text = TextFromValueBytes(data);
    return true;
}

bool SetDword(IKey& key, const std::u16string& name, uint32_t value) {
    return key.SetValue(name, kRegDword, DwordValueBytes(value));
}

bool SetString(IKey& key, const std::u16string& name, const std::u16string& text) {
    return key.SetValue(name, kRegSz, TextValueBytes(text));
}

}  // namespace tt
