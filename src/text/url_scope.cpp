#include "text/url_scope.h"

#include <algorithm>

namespace tt {

std::u16string QueryOfUrl(const std::u16string& url) {
    const size_t question = url.find(u'?');
    if (question == std::u16string::npos) return {};
    const size_t start = question + 1;
    const size_t hash = url.find(u'#', start);
    return url.substr(start, hash == std::u16string::npos ? std::u16string::npos : hash - start);
}

size_t AuthorityEnd(const std::u16string& url) {
    const size_t separator = url.find(u"://");
    if (separator == 0 || separator == std::u16string::npos) return std::u16string::npos;
    for (size_t i = 0; i < separator; ++i) {
        const char16_t c = url[i];
        const bool schemeCharacter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                                     (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!schemeCharacter) return std::u16string::npos;
    }
    const size_t start = separator + 3;
    const size_t end = std::min(url.find_first_of(u"/?#", start), url.size());
    return end > start ? end : std::u16string::npos;
}

bool IsUnderBaseUrl(const std::u16string& url, const std::u16string& baseUrl) {
    // A base without a host ("http://", as typed into the options) vouches for no address.
    const size_t authorityEnd = AuthorityEnd(baseUrl);
    if (authorityEnd == std::u16string::npos || url.compare(0, baseUrl.size(), baseUrl) != 0) return false;
    if (url.size() == baseUrl.size()) return true;
    // "http://host/ag.cgi" must not vouch for "http://host/ag.cgix", nor "http://gw" for
    // "http://gw.example", "http://gw@example" or "http://gw:8080".
    const char16_t next = url[baseUrl.size()];
    if (next == u'?' || next == u'#' || next == u'/') return true;
    const char16_t last = baseUrl.back();
    return baseUrl.size() > authorityEnd && (last == u'/' || last == u'?');
}

}  // namespace tt
