#include "settings/search_history.h"

#include <algorithm>
#include <mutex>

#include "settings/key_store.h"
#include "support/threads.h"

namespace tt {
namespace {

// A numeric name: decimal digits only. Compared by value without converting, so names of
// any length order correctly.
bool IsNumber(const std::u16string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

std::u16string WithoutLeadingZeros(const std::u16string& digits) {
    size_t first = digits.find_first_not_of(u'0');
    return first == std::u16string::npos ? std::u16string() : digits.substr(first);
}

bool NumericLess(const std::u16string& a, const std::u16string& b) {
    std::u16string x = WithoutLeadingZeros(a);
    std::u16string y = WithoutLeadingZeros(b);
    if (x.size() != y.size()) return x.size() < y.size();
    return x < y;
}

// Windows of one process (tabs on threads of their own) save at nearly the same time: their
// writes go one after the other, not interleaved.
tt::CriticalSection& ListLock() {
    static tt::CriticalSection lock;
    return lock;
}

}  // namespace

void LoadMruList(IKeyStore& store, const std::u16string& subkeyName, std::vector<std::u16string>& list) {
    std::u16string path = SettingsKeyPath();
    if (path.empty() || subkeyName.empty()) return;
    std::lock_guard<tt::CriticalSection> guard(ListLock());
    auto key = store.OpenKey(path, KeyAccess::Read);
    if (!key) return;
    list.clear();
    // Read access is enough: a locked-down or low-integrity key still shows its history.
    auto sub = key->OpenSubkey(subkeyName, KeyAccess::Read);
    if (!sub) return;

    // Windows enumerates in creation order, Wine by name: order by the names instead.
    std::vector<KeyValue> values;
    KeyValue value;
    for (uint32_t i = 0; sub->EnumValue(i, &value); ++i) values.push_back(value);
    std::stable_sort(values.begin(), values.end(), [](const KeyValue& a, const KeyValue& b) {
        bool numberA = IsNumber(a.name);
        bool numberB = IsNumber(b.name);
        if (numberA != numberB) return numberA;
        return numberA && NumericLess(a.name, b.name);
    });
    for (const auto& v : values) list.push_back(TextFromValueBytes(v.data));
}

void LoadMruList(const std::u16string& subkeyName, std::vector<std::u16string>& list) {
    LoadMruList(DefaultKeyStore(), subkeyName, list);
}

void SaveMruList(IKeyStore& store, const std::u16string& subkeyName,
                 const std::vector<std::u16string>& list) {
    // An empty name would put the list into the settings key itself.
    if (subkeyName.empty()) return;
    std::lock_guard<tt::CriticalSection> guard(ListLock());
    auto key = OpenOrCreateSettingsKey(store);
    if (!key) return;
    // Rewritten in place, never deleted first: a window of another process that reloads
    // meanwhile must not find an empty history, which its next search would store. Positions
    // not stored yet are added first, in order; the stored ones are then overwritten from the
    // last to the first. A new query at the top shifts the others down, so a reader finds
    // every entry at every moment (at worst one twice), and the values stay in the order of
    // their positions for a store that enumerates them as they were created.
    std::vector<bool> stored(list.size(), false);
    if (auto sub = key->OpenSubkey(subkeyName, KeyAccess::Read)) {
        KeyValue value;
        for (uint32_t i = 0; sub->EnumValue(i, &value); ++i) {
            if (!IsNumber(value.name) || value.name.size() > 9 ||
                (value.name.size() > 1 && value.name[0] == u'0'))
                continue;
            const size_t position = std::stoul(std::string(value.name.begin(), value.name.end()));
            if (position < stored.size()) stored[position] = true;
        }
    }
    auto entry = [&](size_t i) {
        std::string digits = std::to_string(i);
        return KeyValue{std::u16string(digits.begin(), digits.end()), kRegSz, TextValueBytes(list[i])};
    };
    std::vector<KeyValue> values;
    values.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i)
        if (!stored[i]) values.push_back(entry(i));
    for (size_t i = list.size(); i-- > 0;)
        if (stored[i]) values.push_back(entry(i));
    RewriteSubkey(*key, subkeyName, values, true);
    key->Flush();
}

void SaveMruList(const std::u16string& subkeyName, const std::vector<std::u16string>& list) {
    SaveMruList(DefaultKeyStore(), subkeyName, list);
}

void DeleteMruList(IKeyStore& store, const std::u16string& subkeyName) {
    if (subkeyName.empty()) return;
    std::lock_guard<tt::CriticalSection> guard(ListLock());
    auto key = OpenOrCreateSettingsKey(store);
    if (!key) return;
    DeleteKeyTree(*key, subkeyName);
    key->Flush();
}

void DeleteMruList(const std::u16string& subkeyName) { DeleteMruList(DefaultKeyStore(), subkeyName); }

}  // namespace tt
