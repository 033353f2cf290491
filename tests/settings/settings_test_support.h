#pragma once
// Helpers shared by the settings tests: a clock set by hand and readers of stored values.
#include <cstdint>
#include <string>
#include <vector>

#include "settings/key_store.h"
#include "support/clock.h"

namespace tt::testing {

class FakeClock final : public IClock {
public:
    LocalTime now;
    LocalTime Now() override { return now; }
    void Set(int year, int month, int day, int hour, int minute = 0) {
        now = LocalTime{};
        now.year = year;
        now.month = month;
        now.day = day;
        now.hour = hour;
        now.minute = minute;
    }
};

inline const std::u16string kSettingsPath = u"Software\\Tavelle\\TavelleToolbar";

inline std::u16string Sub(const std::u16string& name) { return kSettingsPath + u"\\" + name; }

// A value as stored, or type 0 when it cannot be read.
struct Stored {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    bool operator==(const Stored& o) const { return type == o.type && data == o.data; }
};

inline Stored ReadStored(IKeyStore& store, const std::u16string& path, const std::u16string& name) {
    Stored s;
    if (auto key = store.OpenKey(path, KeyAccess::Read)) {
        if (!key->QueryValue(name, &s.type, &s.data)) s = Stored{};
    }
    return s;
}

inline Stored StoredText(const std::u16string& text) { return Stored{kRegSz, TextValueBytes(text)}; }
inline Stored StoredDword(uint32_t v) { return Stored{kRegDword, DwordValueBytes(v)}; }

// Value names of a key in enumeration order; {"<missing>"} when the key cannot be opened.
inline std::vector<std::u16string> ValueNames(IKeyStore& store, const std::u16string& path) {
    auto key = store.OpenKey(path, KeyAccess::Read);
    if (!key) return {u"<missing>"};
    std::vector<std::u16string> names;
    KeyValue v;
    for (uint32_t i = 0; key->EnumValue(i, &v); ++i) names.push_back(v.name);
    return names;
}

inline std::vector<std::u16string> SubkeyNames(IKeyStore& store, const std::u16string& path) {
    auto key = store.OpenKey(path, KeyAccess::Read);
    if (!key) return {u"<missing>"};
    std::vector<std::u16string> names;
    std::u16string name;
    for (uint32_t i = 0; key->EnumSubkey(i, &name); ++i) names.push_back(name);
    return names;
}

inline void Put(IKeyStore& store, const std::u16string& path, const std::u16string& name, uint32_t type,
                const std::vector<uint8_t>& data) {
    auto key = store.CreateKey(path);
    if (key) {
        key->SetValue(name, type, data);
        key->Flush();
    }
}

inline void PutText(IKeyStore& store, const std::u16string& path, const std::u16string& name,
                    const std::u16string& text) {
    Put(store, path, name, kRegSz, TextValueBytes(text));
}

inline void PutDword(IKeyStore& store, const std::u16string& path, const std::u16string& name, uint32_t v) {
    Put(store, path, name, kRegDword, DwordValueBytes(v));
}

inline std::u16string Repeat(const std::u16string& unit, size_t count) {
    std::u16string s;
    for (size_t i = 0; i < count; ++i) s += unit;
    return s;
}

inline std::u16string Decimal(size_t n) {
    std::string d = std::to_string(n);
    return std::u16string(d.begin(), d.end());
}

}  // namespace tt::testing
