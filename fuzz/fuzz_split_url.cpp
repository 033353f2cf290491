// Splits any text as a URL and reduces it to a server base URL. Checks that a failed split
// leaves the parts reset, that a successful one keeps every limit, and that a base URL is a
// prefix of the text ending in the CGI name.
#include <cstdlib>

#include "fuzz_input.h"
#include "text/url.h"

using tt::CUrlParts;

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

bool EndsWith(const std::u16string& s, const std::u16string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string url = fuzz::Decode(data, size, false);
    CUrlParts p;
    p.hostName = u"stale";
    p.port = 1;
    if (!tt::SplitUrl(p, url)) {
        Check(p.schemeName.empty() && p.schemeKind == -1 && p.hostName.empty() && p.port == 0 &&
              p.userName.empty() && p.password.empty() && p.path.empty() && p.extra.empty());
    } else {
        Check(p.schemeKind >= -1 && p.schemeKind <= tt::UrlSchemeSocks);
        Check(p.schemeKind >= 0 || p.schemeName.size() <= CUrlParts::kMaxScheme);
        Check(p.hostName.size() <= CUrlParts::kMaxHost);
        Check(p.userName.size() <= CUrlParts::kMaxUser);
        Check(p.password.size() <= CUrlParts::kMaxPassword);
        Check(p.password.empty() || !p.userName.empty());
        Check(p.path.size() <= CUrlParts::kMaxPath);
        Check(p.extra.size() <= CUrlParts::kMaxExtra);
        Check(EndsWith(url, p.path + p.extra));
        Check(url.find(p.schemeName + u":") != std::u16string::npos);
        if (!p.extra.empty()) Check(p.extra[0] == u'?' || p.extra[0] == u'#');
    }
    const std::u16string base = tt::GetServerBaseUrl(url);
    Check(tt::IsGroupwareUrl(url) == !base.empty());
    if (!base.empty()) {
        Check(url.compare(0, base.size(), base) == 0);
        Check(base.compare(0, 7, u"http://") == 0 || base.compare(0, 8, u"https://") == 0);
        Check(EndsWith(base, u"/ag.exe") || EndsWith(base, u"/ag.cgi"));
    }
    return 0;
}
