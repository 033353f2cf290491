#include "toolbar/digest_menu.h"

#include <algorithm>

#include "net/text_fields.h"
#include "toolbar/command_table.h"

namespace tt {

bool IsDigestEntry(const std::vector<DigestRecord>& records, size_t index) {
    return index >= 1 && index < records.size() && records[index].size() >= 3;
}

std::vector<MenuEntry> DigestMenuEntries(const std::vector<DigestRecord>& records) {
    std::vector<MenuEntry> entries;
    if (records.size() <= 1) return entries;
    for (size_t i = 1; i < records.size() && i <= kMaxDigestEntries; ++i) {
        if (!IsDigestEntry(records, i)) continue;
        entries.push_back({static_cast<unsigned>(kDigestEntryBase + i),
                           CutForDisplay(records[i][0] + u": " + records[i][2])});
    }
    // The rest of the arrivals are on the top page.
    if (records.size() >= kMaxDigestEntries + 1) entries.push_back({kDigestMoreCommand, u"..."});
    return entries;
}

bool DigestEntryQuery(const std::vector<DigestRecord>& records, size_t index, std::u16string* query) {
    if (!IsDigestEntry(records, index)) return false;
    *query = records[index][1];
    return true;
}

bool ChosenDigestEntryQuery(const std::vector<DigestRecord>& shown, const std::vector<DigestRecord>& current,
                            size_t index, std::u16string* query) {
    if (shown.empty()) return DigestEntryQuery(current, index, query);
    if (!IsDigestEntry(shown, index)) return false;
    if (std::find(current.begin() + (current.empty() ? 0 : 1), current.end(), shown[index]) == current.end())
        return false;
    return DigestEntryQuery(shown, index, query);
}

}  // namespace tt
