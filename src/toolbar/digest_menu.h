#pragma once
// The new-arrivals drop-down of button 2002: which entries it shows and what they open.
#include <string>
#include <vector>

namespace tt {

// One line of the digest page split into fields (the list pages' record type).
using DigestRecord = std::vector<std::u16string>;

struct MenuEntry {
    unsigned id;
    std::u16string text;
};

// A digest record is a shown entry when it is not the header (record 0) and holds the three
// fields the menu needs: label, page query, title. Shorter records are skipped rather than
// shown in part: without a query or a title the entry would lead nowhere or say nothing.
bool IsDigestEntry(const std::vector<DigestRecord>& records, size_t index);

// The drop-down's items: "label: title" with id 229 + i for records 1 to 8 that are entries,
// then "..." (id 238) when the digest holds nine records or more. Empty for one record or none.
std::vector<MenuEntry> DigestMenuEntries(const std::vector<DigestRecord>& records);

// The page query of entry `index`; false when that record is not a shown entry.
bool DigestEntryQuery(const std::vector<DigestRecord>& records, size_t index, std::u16string* query);

// The page query of the entry chosen from the drop-down as it was shown (`shown`, empty when no
// drop-down was shown): a refresh while the menu was open may have moved the records, so the
// record shown there counts, and only while the digest (`current`) still holds it.
bool ChosenDigestEntryQuery(const std::vector<DigestRecord>& shown, const std::vector<DigestRecord>& current,
                            size_t index, std::u16string* query);

}  // namespace tt
