#include "net/server_check.h"

#include <climits>

#include "net/http_client.h"
#include "net/text_fields.h"
#include "resources/string_table.h"
#include "settings/auto_login.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "support/wipe.h"

namespace tt {
namespace {

// The next field of a line is the first match, from the left, of the pattern
// {("[^"]*")|([^,"]*?)}, : a double-quoted text directly followed by a comma, or the shortest
// run of characters other than comma and double quote before a comma. FindField finds exactly
// that match by scanning, in time linear in the line: a backtracking search would retry the
// rest of a long comma-less line from every start position.
struct FieldMatch {
    size_t start;  // where the field (group 0) begins
    size_t end;    // just past it; the comma follows
};

// Searches text[from, n) (one line) for the next field.
bool FindField(const std::u16string& text, size_t from, size_t n, FieldMatch& match) {
    size_t p = from;
    while (p < n) {
        if (text[p] == u'"') {
            size_t close = p + 1;
            while (close < n && text[close] != u'"') ++close;
            if (close + 1 < n && text[close + 1] == u',') {
                match = {p, close + 1};
                return true;
            }
            ++p;  // only a quoted field may start at a quote
            continue;
        }
        // Every start in a run of plain characters ends at the same comma or quote.
        size_t stop = p;
        while (stop < n && text[stop] != u',' && text[stop] != u'"') ++stop;
        if (stop == n) return false;
        if (text[stop] == u',') {
            match = {p, stop};
            return true;
        }
        p = stop;
    }
    return false;
}

// text[start, end), cut to maxChars characters without splitting a surrogate pair.
std::u16string Field(const std::u16string& text, size_t start, size_t end, size_t maxChars) {
    if (end - start > maxChars) {
        end = start + maxChars;
        if (end > start && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
    }
    return text.substr(start, end - start);
}

// The field text[start, end) without its leading and trailing double quotes.
std::u16string StripQuotes(const std::u16string& text, size_t start, size_t end, size_t maxChars) {
    while (start < end && text[start] == u'"') ++start;
    while (end > start && text[end - 1] == u'"') --end;
    return Field(text, start, end, maxChars);
}

// Splits the line text[start, end) into record, keeping the first limits.maxFields fields.
void SplitLine(const std::u16string& text, size_t start, size_t end, ServerRecord& record,
               const RecordLimits& limits) {
    size_t rest = start;  // the unsplit rest of the line starts here
    FieldMatch field{};
    while (record.size() < limits.maxFields) {
        if (!FindField(text, rest, end, field)) {
            record.push_back(Field(text, rest, end, limits.maxFieldChars));
            return;
        }
        // Characters between rest and the field's start are passed over, as the search skips them.
        record.push_back(StripQuotes(text, field.start, field.end, limits.maxFieldChars));
        rest = field.end + 1;  // past the comma
        if (rest >= end) return;
    }
}

// Calls onLine(start, end) for each record line of a list page, at most maxRecords times,
// while it returns true.
template <class OnLine>
void ForEachRecordLine(const std::u16string& text, size_t maxRecords, OnLine onLine) {
    if (!text.empty() && text[0] == u'<') return;
    size_t pos = 0;
    for (size_t count = 0; pos < text.size() && count < maxRecords; ++count) {
        const size_t start = text.find_first_not_of(u"\r\n", pos);
        if (start == std::u16string::npos) break;
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string::npos) end = text.size();
        if (text.compare(start, end - start, u"NOERROR") == 0) break;
        if (!onLine(start, end)) break;
        pos = end;
    }
}

}  // namespace

void ParseServerRecords(const std::u16string& text, std::vector<ServerRecord>& records,
                        const RecordLimits& limits) {
    records.clear();
    ForEachRecordLine(text, limits.maxRecords, [&](size_t start, size_t end) {
        records.emplace_back();
        SplitLine(text, start, end, records.back(), limits);
        return true;
    });
}

void ForEachServerRecord(const std::u16string& text, const RecordLimits& limits,
                         const std::function<bool(const ServerRecord&)>& visit) {
    ServerRecord record;
    ForEachRecordLine(text, limits.maxRecords, [&](size_t start, size_t end) {
        record.clear();
        SplitLine(text, start, end, record, limits);
        return visit(record);
    });
}

std::u16string FetchServerPage(IHttpClient& http, unsigned stringId) {
    return FetchServerPage(http, theSettings.GetServerUrl(), stringId);
}

std::u16string FetchServerPage(IHttpClient& http, const std::u16string& baseUrl, unsigned stringId) {
    if (baseUrl.empty()) return {};
    const std::u16string url = baseUrl + LoadResourceString(stringId);
    std::u16string headers = u"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\n";
    std::u16string verb = u"GET";
    std::u16string body;
    WipeOnExit<std::u16string> wipeBody(body);
    const std::u16string cookieLine = CookieHeaderLine(theProcessState.GroupwareCookie(baseUrl));
    if (!cookieLine.empty()) {
        headers += cookieLine;
    } else if (IsAutoLoginActive()) {
        body = BuildLoginBody(u"&_notimecard=1");
        if (body.empty()) return {};
        verb = u"POST";
    } else {
        return {};
    }
    return http.Request(url, verb, headers, body);
}

std::optional<bool> RefreshDigestRecords(IHttpClient& http, bool windowInUse,
                                         std::vector<ServerRecord>& digestRecords) {
    if (!theProcessState.AllowToolbar()) return std::nullopt;
    const std::u16string baseUrl = theSettings.GetServerUrl();
    SharedText digest = theProcessState.DigestCache(baseUrl);
    if (windowInUse || digest->empty())
        digest = theProcessState.SetDigestCache(baseUrl, FetchServerPage(http, baseUrl, kDigestPageString));
    if (digest->empty()) return std::nullopt;
    // The menu shows records 1 to 8 and "..." when a ninth exists: nothing further is kept.
    RecordLimits limits = kDisplayRecordLimits;
    limits.maxRecords = kMaxDigestEntries + 1;
    ParseServerRecords(*digest, digestRecords, limits);
    return digestRecords.size() > 1;
}

int ParseLeadingInt(const std::u16string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

std::optional<std::u16string> AppointmentCaption(const ServerRecord& record, int hour, int minute) {
    if (record.size() < 3) return std::nullopt;
    const int h = ParseLeadingInt(record[0]);
    const int m = ParseLeadingInt(record[1]);
    if (h < hour || (h == hour && m < minute)) return std::nullopt;
    return CutForDisplay(record[0] + u":" + record[1] + u" " + record[2]);
}

std::u16string NextAppointmentCaption(const std::vector<ServerRecord>& schedule, int hour, int minute) {
    for (const ServerRecord& record : schedule) {
        if (std::optional<std::u16string> caption = AppointmentCaption(record, hour, minute)) return *caption;
    }
    return {};
}

std::optional<std::u16string> RefreshNextAppointmentCaption(IHttpClient& http, bool windowInUse,
                                                            IClock& clock) {
    if (!theProcessState.AllowToolbar()) return std::nullopt;
    const std::u16string baseUrl = theSettings.GetServerUrl();
    SharedText schedule = theProcessState.ScheduleCache(baseUrl);
    if (windowInUse || schedule->empty()) {
        schedule =
            theProcessState.SetScheduleCache(baseUrl, FetchServerPage(http, baseUrl, kSchedulePageString));
    }
    if (schedule->empty()) return std::nullopt;
    const LocalTime now = clock.Now();
    // Read record by record up to the first appointment still to come: nothing else is kept.
    std::u16string caption;
    ForEachServerRecord(*schedule, kDisplayRecordLimits, [&](const ServerRecord& record) {
        std::optional<std::u16string> found = AppointmentCaption(record, now.hour, now.minute);
        if (found) caption = std::move(*found);
        return !found;
    });
    return caption;
}

}  // namespace tt
