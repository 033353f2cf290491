// Splits any text as a list page, the way the displays read it and in full. Checks that the
// displays' records are the full split's first records and fields, cut to their limits, and
// that the digest menu and the appointment caption stay within their lengths.
#include <algorithm>
#include <cstdlib>

#include "fuzz_input.h"
#include "net/server_check.h"
#include "net/text_fields.h"
#include "toolbar/command_table.h"
#include "toolbar/digest_menu.h"

using tt::ServerRecord;

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

// kept is whole, or full cut to limit characters (one less where that would split a pair).
bool IsCutOf(const std::u16string& kept, const std::u16string& full, size_t limit) {
    if (full.size() <= limit) return kept == full;
    return (kept.size() == limit || kept.size() + 1 == limit) && full.compare(0, kept.size(), kept) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int hour = data[0] % 25, minute = data[1] % 61;
    data += 2;
    size -= 2;
    const std::u16string text = fuzz::Decode(data, size, false);
    // Small limits, so that the fuzzer reaches them with short inputs.
    const tt::RecordLimits limits{tt::kMaxDigestEntries + 1, 3, 16};

    std::vector<ServerRecord> full, kept;
    tt::ParseServerRecords(text, full);
    tt::ParseServerRecords(text, kept, limits);
    Check(kept.size() == std::min(full.size(), limits.maxRecords));
    for (size_t i = 0; i < kept.size(); ++i) {
        Check(!full[i].empty());
        Check(kept[i].size() == std::min<size_t>(full[i].size(), 3));
        for (size_t j = 0; j < kept[i].size(); ++j)
            Check(IsCutOf(kept[i][j], full[i][j], limits.maxFieldChars));
    }
    if (!text.empty() && text[0] == u'<') Check(full.empty());

    // One record at a time gives the same records, and stopping stops.
    size_t visited = 0;
    tt::ForEachServerRecord(text, limits, [&](const ServerRecord& record) {
        Check(visited < kept.size() && record == kept[visited]);
        return ++visited < 2;
    });
    Check(visited == std::min<size_t>(kept.size(), 2));

    for (const tt::MenuEntry& entry : tt::DigestMenuEntries(kept)) {
        Check(entry.text.size() <= tt::kMaxShownChars);
        Check(entry.id > tt::kDigestEntryBase && entry.id <= tt::kDigestMoreCommand);
    }
    const std::u16string caption = tt::NextAppointmentCaption(kept, hour, minute);
    Check(caption.size() <= tt::kMaxShownChars);
    // A caption is one record's "h:m title", cut for the button.
    bool fromARecord = caption.empty();
    for (const ServerRecord& record : kept)
        if (record.size() == 3 &&
            tt::CutForDisplay(record[0] + u":" + record[1] + u" " + record[2]) == caption)
            fromARecord = true;
    Check(fromARecord);
    return 0;
}
