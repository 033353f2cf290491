#pragma once
#include <string>
#include <vector>

namespace tt {

class IKeyStore;

// The search box holds at most this many history entries (positions 0 to 31).
constexpr int kMaxHistoryEntries = 32;

// Letter case folded for the list's case-insensitive comparisons.
char16_t FoldListCase(char16_t c);
bool EqualIgnoringCase(const std::u16string& a, const std::u16string& b);
bool StartsWithIgnoringCase(const std::u16string& text, const std::u16string& prefix);

// The drop-down list of the search box: an unsorted list of texts. On Windows the combo box
// itself; the searches in it follow the combo box's rules.
class IHistoryList {
public:
    virtual ~IHistoryList() = default;
    virtual int Count() const = 0;
    virtual std::u16string Item(int index) const = 0;
    virtual void Insert(int index, const std::u16string& text) = 0;
    virtual void Append(const std::u16string& text) = 0;
    virtual void Delete(int index) = 0;
    // Empties the list and the edit field.
    virtual void Reset() = 0;
    // Index of an item equal to text ignoring case, or -1. The search starts after `start`, runs
    // to the end and wraps round to the beginning (start -1 searches from the first item).
    virtual int FindExact(int start, const std::u16string& text) const;
    // Index of the first item beginning with prefix ignoring case, in the same order, or -1.
    virtual int FindPrefix(int start, const std::u16string& prefix) const;
};

// The stored history (the SearchMRU subkey of the settings key).
class IHistoryStore {
public:
    virtual ~IHistoryStore() = default;
    // Newest first; empty when nothing is stored or the settings key cannot be read.
    virtual std::vector<std::u16string> Load() = 0;
    virtual void Save(const std::vector<std::u16string>& entries) = 0;
};

// The history in the subkey "SearchMRU" of the settings key, shared by all browser windows.
class CSearchMruStore final : public IHistoryStore {
public:
    CSearchMruStore();  // the platform's key store
    explicit CSearchMruStore(IKeyStore& store);
    std::vector<std::u16string> Load() override;
    void Save(const std::vector<std::u16string>& entries) override;

private:
    IKeyStore& store_;
};

// Refills the list from the store (also empties the edit field).
void ReloadHistory(IHistoryList& list, IHistoryStore& store);
// Stores the non-empty items, first to last.
void SaveHistory(const IHistoryList& list, IHistoryStore& store);
// Puts text at the top, drops an older entry equal to it ignoring case, deletes the entry at
// position 32 when there is one, and saves.
void AddToHistory(IHistoryList& list, IHistoryStore& store, const std::u16string& text);

}  // namespace tt
