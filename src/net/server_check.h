#pragma once
// The periodic server check: the new-arrivals digest and the next appointment of the day,
// fetched from two list pages of the groupware that answer with comma-separated lines. This
// is the deciding part; the toolbar window turns its answers into button changes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/clock.h"
#include "string_ids.h"

namespace tt {

class IHttpClient;

// One line of a list page split into fields (at least one).
using ServerRecord = std::vector<std::u16string>;

// How much of a list page is kept. A record's fields are the first ones of the full split,
// each cut to maxFieldChars characters; records after maxRecords are not read.
struct RecordLimits {
    size_t maxRecords = SIZE_MAX;
    size_t maxFields = SIZE_MAX;  // at least 1
    size_t maxFieldChars = SIZE_MAX;
};

// The longest field kept for the displays: the longest address a browser opens (an entry's
// page query) and far beyond any label or title.
constexpr size_t kMaxFieldChars = 2048;
// What the displays read of a list page: label, query and title (or hour, minute, title). A
// hostile page of nothing but commas or line breaks must not become millions of fields.
constexpr RecordLimits kDisplayRecordLimits{SIZE_MAX, 3, kMaxFieldChars};

// Replaces records with the records of a list-page answer: lines split at carriage returns and
// line feeds (empty lines skipped) up to a line that is exactly "NOERROR"; an answer whose
// first character is "<" (an HTML page, such as the log-in page) holds none.
void ParseServerRecords(const std::u16string& text, std::vector<ServerRecord>& records,
                        const RecordLimits& limits = {});

// The same records one at a time, without keeping them, while visit returns true.
void ForEachServerRecord(const std::u16string& text, const RecordLimits& limits,
                         const std::function<bool(const ServerRecord&)>& visit);

// The answer of base URL + string stringId: sent with the groupware cookie when one is known,
// else as a log-in post when automatic log-in is set up; empty without a request otherwise
// (or when no server URL is stored).
std::u16string FetchServerPage(IHttpClient& http, unsigned stringId);
// The same for a base URL the caller has read already.
std::u16string FetchServerPage(IHttpClient& http, const std::u16string& baseUrl, unsigned stringId);

// The new-arrival entries the drop-down shows at the most (one more record means "more").
constexpr unsigned kMaxDigestEntries = 8;

// The two list pages.

// Button 2002's picture: index 1 of image list 2 while there are new arrivals (with a
// drop-down arrow), index 1 of image list 0 otherwise.
constexpr int kDigestPictureWithArrivals = (2 << 16) | 1;  // 131073
constexpr int kDigestPicturePlain = 1;

// RefreshDigest's decision. windowInUse: the toolbar is visible and its thread has an active
// window; such a window fetches, others only re-read the process's last answer (or fetch when
// there is none). Returns nothing when the display must stay as it was (toolbar not permitted,
// no answer); otherwise digestRecords holds the new records and the result tells whether
// there are new arrivals (more than one record: record 0 is not an entry).
std::optional<bool> RefreshDigestRecords(IHttpClient& http, bool windowInUse,
                                         std::vector<ServerRecord>& digestRecords);

// RefreshNextAppointment's decision: nothing when the caption must stay as it was; otherwise
// the new caption of button 2022, empty (and the button disabled) when no appointment is left
// today.
std::optional<std::u16string> RefreshNextAppointmentCaption(IHttpClient& http, bool windowInUse,
                                                            IClock& clock);

// The first appointment that is not earlier than hour:minute, as "h:m title" with the fields
// as sent (cut to kMaxShownChars); empty when there is none. Records with fewer than three
// fields are skipped.
std::u16string NextAppointmentCaption(const std::vector<ServerRecord>& schedule, int hour, int minute);
// One record's part of it: its caption when it is an appointment not earlier than hour:minute.
std::optional<std::u16string> AppointmentCaption(const ServerRecord& record, int hour, int minute);

// A decimal field as the list pages send it: leading blanks and a sign allowed, conversion
// stops at the first non-digit, no digits give 0.
int ParseLeadingInt(const std::u16string& text);

}  // namespace tt
