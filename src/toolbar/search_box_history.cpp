#include "toolbar/search_box_history.h"

#include "settings/key_store.h"
#include "settings/search_history.h"

namespace tt {

char16_t FoldListCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
    if (c < 0x80) return c;
    // Latin-1 capitals (not the multiplication sign).
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
    // Latin Extended-A: capitals at even positions, except the few unpaired letters.
    if (c >= 0x0100 && c <= 0x0137 && c != 0x0130 && (c & 1) == 0) return static_cast<char16_t>(c + 1);
    if (c >= 0x0139 && c <= 0x0148 && (c & 1) == 1) return static_cast<char16_t>(c + 1);
    if (c >= 0x014A && c <= 0x0177 && (c & 1) == 0) return static_cast<char16_t>(c + 1);
    if (c == 0x0178) return 0x00FF;
    if (c >= 0x0179 && c <= 0x017E && (c & 1) == 1) return static_cast<char16_t>(c + 1);
    // Greek and Cyrillic capitals.
    if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);
    // Full-width Latin capitals, common in Japanese text.
    if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 0x20);
    return c;
}

bool EqualIgnoringCase(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldListCase(a[i]) != FoldListCase(b[i])) return false;
    }
    return true;
}

bool StartsWithIgnoringCase(const std::u16string& text, const std::u16string& prefix) {
    return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

namespace {

template <class Match>
int FindWrapping(const IHistoryList& list, int start, Match match) {
    const int count = list.Count();
    if (count <= 0) return -1;
    if (start < -1 || start >= count) start = -1;
    for (int step = 1; step <= count; ++step) {
        const int index = (start + step) % count;
        if (match(list.Item(index))) return index;
    }
    return -1;
}

}  // namespace

int IHistoryList::FindExact(int start, const std::u16string& text) const {
    return FindWrapping(*this, start,
                        [&](const std::u16string& item) { return EqualIgnoringCase(item, text); });
}

int IHistoryList::FindPrefix(int start, const std::u16string& prefix) const {
    return FindWrapping(*this, start,
                        [&](const std::u16string& item) { return StartsWithIgnoringCase(item, prefix); });
}

const char16_t kSearchMruKey[] = u"SearchMRU";

CSearchMruStore::CSearchMruStore() : store_(DefaultKeyStore()) {}

CSearchMruStore::CSearchMruStore(IKeyStore& store) : store_(store) {}

std::vector<std::u16string> CSearchMruStore::Load() {
    std::vector<std::u16string> entries;
    LoadMruList(store_, kSearchMruKey, entries);
    return entries;
}

void CSearchMruStore::Save(const std::vector<std::u16string>& entries) {
    SaveMruList(store_, kSearchMruKey, entries);
}

void ReloadHistory(IHistoryList& list, IHistoryStore& store) {
    const std::vector<std::u16string> entries = store.Load();
    list.Reset();
    for (const auto& entry : entries) list.Append(entry);
}

void SaveHistory(const IHistoryList& list, IHistoryStore& store) {
    std::vector<std::u16string> entries;
    const int count = list.Count();
    for (int i = 0; i < count; ++i) {
        std::u16string text = list.Item(i);
        if (!text.empty()) entries.push_back(std::move(text));
    }
    store.Save(entries);
}

void AddToHistory(IHistoryList& list, IHistoryStore& store, const std::u16string& text) {
    // Start 0: the search begins at the second item and wraps round to the first.
    const int older = list.FindExact(0, text);
    if (older >= 0) list.Delete(older);
    list.Insert(0, text);
    // Only the entry at position 32 goes: a longer list loaded from the store shrinks one
    // entry per search, not at once.
    if (list.Count() > kMaxHistoryEntries) list.Delete(kMaxHistoryEntries);
    SaveHistory(list, store);
}

}  // namespace tt
