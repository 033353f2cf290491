#pragma once
#include <string>
#include <vector>

namespace tt {

class IKeyStore;

// Stored lists under the settings key: one REG_SZ per entry, named "0", "1", ... in list
// order. The search box keeps its history in the subkey "SearchMRU".

// Replaces list with the subkey's texts, ordered by the values' numeric names (names that
// are not numbers after them, in enumeration order), so every registry gives the same order.
// When the settings key cannot be read the list is left unchanged; when the subkey is
// missing the list is emptied.
void LoadMruList(const std::u16string& subkeyName, std::vector<std::u16string>& list);
void LoadMruList(IKeyStore& store, const std::u16string& subkeyName, std::vector<std::u16string>& list);

// Leaves the subkey holding exactly list's texts as "0", "1", ... in list order, rewritten in
// place so that no reader finds it empty. Saves of one process never interleave.
void SaveMruList(const std::u16string& subkeyName, const std::vector<std::u16string>& list);
void SaveMruList(IKeyStore& store, const std::u16string& subkeyName, const std::vector<std::u16string>& list);

// Deletes the subkey with everything below it; a missing subkey is no error.
void DeleteMruList(const std::u16string& subkeyName);
void DeleteMruList(IKeyStore& store, const std::u16string& subkeyName);

}  // namespace tt
