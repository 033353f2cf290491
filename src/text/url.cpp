#include "text/url.h"

#include "resources/string_table.h"
#include "text/pattern_matcher.h"

namespace tt {
namespace {

struct SchemeInfo {
    const char16_t* name;
    uint16_t defaultPort;
};

// Indexed by UrlScheme.
constexpr SchemeInfo kSchemes[] = {
    {u"ftp", 21},  {u"gopher", 70}, {u"http", 80},   {u"https", 443},
    {u"file", 0},  {u"news", 0},    {u"mailto", 0},  {u"socks", 1080},
};

// The longest run of characters collected as one piece of the authority or the path.
constexpr size_t kMaxSegment = 2089;
// The text after a ':' in the authority (a port or a password).
constexpr size_t kMaxColonText = 128;

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; }

int FindScheme(const std::u16string& name) {
    for (size_t k = 0; k < sizeof(kSchemes) / sizeof(kSchemes[0]); ++k) {
        const char16_t* known = kSchemes[k].name;
        size_t i = 0;
        while (i < name.size() && known[i] != 0 && LowerAscii(name[i]) == known[i]) ++i;
        if (i == name.size() && known[i] == 0) return static_cast<int>(k);
    }
    return -1;
}

uint16_t LeadingPort(const std::u16string& text) {
    uint32_t value = 0;  // kept to its low 16 bits as it grows
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        value = (value * 10 + (c - u'0')) & 0xFFFFu;
    }
    return static_cast<uint16_t>(value);
}

bool SplitUrlInto(CUrlParts& parts, const std::u16string& url) {
    const size_t n = url.size();
    std::u16string segment;
    bool schemeRead = false;
    bool portRead = false;
    bool userRead = false;
    bool hostRead = false;
    bool pathOnly = false;  // file: everything after the scheme is the path
    size_t i = 0;

    // The authority: scheme, user, password, host, port.
    bool authorityEnded = false;
    while (i < n && !authorityEnded) {
        const char16_t c = url[i];
        if (c == u':' && !schemeRead) {
            parts.schemeName = segment;
            parts.schemeKind = FindScheme(segment);
            if (parts.schemeKind < 0 && segment.size() > CUrlParts::kMaxScheme) return false;
            schemeRead = true;
            segment.clear();
            const bool file = parts.schemeKind == UrlSchemeFile;
            if (i + 2 < n && url[i + 1] == u'/' && url[i + 2] == u'/') {
                if (parts.schemeKind == UrlSchemeMailto) return false;
                i += 3;
                if (file) {
                    pathOnly = true;
                    authorityEnded = true;
                }
            } else if (i + 1 < n && url[i + 1] == u'/') {
                i += 1;  // no authority: the path starts at the slash
                authorityEnded = true;
            } else {
                i += 1;
                if (file) {
                    pathOnly = true;
                    authorityEnded = true;
                }
            }
            continue;
        }
        if (c == u':') {
            // A port after the host, or a password after the user name.
            size_t j = i + 1;
            while (j < n && url[j] != u'/' && url[j] != u'@' && url[j] != u'?' && url[j] != u'#') ++j;
            if (j - (i + 1) > kMaxColonText) return false;
            const std::u16string text = url.substr(i + 1, j - (i + 1));
            const bool atEnd = j == n || url[j] != u'@';
            if (atEnd && !portRead) {
                if (segment.size() > CUrlParts::kMaxHost) return false;
                parts.hostName = segment;
                hostRead = true;
                parts.port = LeadingPort(text);
                portRead = true;
                segment.clear();
                i = j;
                if (i == n) authorityEnded = true;
            } else if (!atEnd && !userRead) {
                if (segment.size() > CUrlParts::kMaxUser) return false;
                if (text.size() > CUrlParts::kMaxPassword) return false;
                if (segment.empty() && !text.empty()) return false;  // a password needs a user
                parts.userName = segment;
                parts.password = text;
                userRead = true;
                segment.clear();
                i = j + 1;
            } else {
                return false;
            }
            continue;
        }
        if (c == u'@') {
            if (userRead) return false;
            if (segment.size() > CUrlParts::kMaxUser) return false;
            parts.userName = segment;
            userRead = true;
            segment.clear();
            ++i;
            continue;
        }
        const bool delimiter = c == u'/' || c == u'?' || c == u'#';
        if (delimiter || i + 1 == n) {
            if (!delimiter) {
                segment.push_back(c);
                ++i;
            }
            if (!hostRead) {
                if (segment.size() > CUrlParts::kMaxHost) return false;
                parts.hostName = segment;
                hostRead = true;
            }
            segment.clear();
            authorityEnded = true;
            continue;
        }
        if (segment.size() >= kMaxSegment) return false;
        segment.push_back(c);
        ++i;
    }
    if (!schemeRead) return false;

    // The path, then the extra part.
    size_t j = i;
    while (j < n && (pathOnly || (url[j] != u'?' && url[j] != u'#'))) ++j;
    if (j - i > kMaxSegment || j - i > CUrlParts::kMaxPath) return false;
    parts.path = url.substr(i, j - i);
    if (n - j > CUrlParts::kMaxExtra) return false;
    parts.extra = url.substr(j);

    if (parts.schemeKind == UrlSchemeFile || parts.schemeKind == UrlSchemeNews ||
        parts.schemeKind == UrlSchemeMailto) {
        parts.port = 0;
    } else if (!portRead) {
        parts.port = parts.schemeKind >= 0 ? kSchemes[parts.schemeKind].defaultPort : 0;
    }
    return true;
}

}  // namespace

void CUrlParts::Reset() {
    schemeName.clear();
    schemeKind = -1;
    hostName.clear();
    port = 0;
    userName.clear();
    password.clear();
    path.clear();
    extra.clear();
}

bool SplitUrl(CUrlParts& parts, const std::u16string& url) {
    parts.Reset();
    if (!SplitUrlInto(parts, url)) {
        parts.Reset();
        return false;
    }
    return true;
}

std::u16string GetServerBaseUrl(const std::u16string& url) {
    return ExtractPatternGroup(url, LoadResourceString(532), 0);
}

bool IsGroupwareUrl(const std::u16string& url) { return !GetServerBaseUrl(url).empty(); }

}  // namespace tt
