// Reads any text as the update server's version file. Checks that the latest version is a
// run of digits and dots from a "LatestVersion=" of the text, and that the download address
// is the maker's home page unless the file's DownloadPath line holds an absolute http or https
// address with a host and nothing that could break out of a command-line argument.
#include <cstdlib>

#include "fuzz_input.h"
#include "net/update_check.h"
#include "resources/string_table.h"
#include "text/pattern_matcher.h"
#include "text/url.h"

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

bool StartsWithNoCase(const std::u16string& text, const char16_t* prefix) {
    for (size_t i = 0; prefix[i]; ++i)
        if (i >= text.size() || (text[i] | 0x20) != prefix[i]) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string text = fuzz::Decode(data, size, false);
    const std::u16string latest = tt::ExtractPatternGroup(text, u"LatestVersion={[\\.0-9]+}", 0);
    for (char16_t c : latest) Check(c == u'.' || (c >= u'0' && c <= u'9'));
    if (!latest.empty()) Check(text.find(u"LatestVersion=" + latest) != std::u16string::npos);

    const std::u16string address = tt::DownloadAddress(text);
    if (address == tt::LoadResourceString(504)) return 0;
    Check(StartsWithNoCase(address, u"http://") || StartsWithNoCase(address, u"https://"));
    for (char16_t c : address) Check(c > u' ' && c != u'"' && c != 0x7F);
    tt::CUrlParts parts;
    Check(tt::SplitUrl(parts, address) && !parts.hostName.empty());
    const size_t at = text.find(u"DownloadPath=" + address);
    Check(at != std::u16string::npos);
    const size_t after = at + 13 + address.size();
    Check(after < text.size() && (text[after] == u'\r' || text[after] == u'\n'));
    return 0;
}
