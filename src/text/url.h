#pragma once
// URL services shared by the HTTP client, the permission check, server URL detection and the
// options dialog: splitting an absolute URL, and reducing a groupware page URL to the server's
// base URL (up to and including its CGI name, ag.exe or ag.cgi).
#include <cstdint>
#include <string>

namespace tt {

// The scheme table; the value is the index that CUrlParts::schemeKind holds.
enum UrlScheme {
    UrlSchemeFtp = 0,
    UrlSchemeGopher = 1,
    UrlSchemeHttp = 2,
    UrlSchemeHttps = 3,
    UrlSchemeFile = 4,
    UrlSchemeNews = 5,
    UrlSchemeMailto = 6,
    UrlSchemeSocks = 7,
};

struct CUrlParts {
    // Limits of the parts, in UTF-16 code units; a longer part fails the split.
    static constexpr size_t kMaxScheme = 32;
    static constexpr size_t kMaxHost = 256;
    static constexpr size_t kMaxUser = 128;
    static constexpr size_t kMaxPassword = 128;
    static constexpr size_t kMaxPath = 2048;
    static constexpr size_t kMaxExtra = 2048;

    std::u16string schemeName;  // as written, before the first ':'
    int schemeKind = -1;        // a UrlScheme, or -1 for a scheme not in the table
    std::u16string hostName;    // without the port
    uint16_t port = 0;          // explicit, else the scheme's default, else 0
    std::u16string userName;
    std::u16string password;
    std::u16string path;   // from the first '/' after the host up to '?' or '#'
    std::u16string extra;  // the rest, beginning with its '?' or '#'

    void Reset();
};

// Splits an absolute URL. No percent-decoding. On failure `parts` is left reset.
bool SplitUrl(CUrlParts& parts, const std::u16string& url);

// The groupware server's base URL of a page URL (pattern string 532, group 0), or the empty
// text when the URL is not a groupware page URL.
std::u16string GetServerBaseUrl(const std::u16string& url);

// Whether GetServerBaseUrl gives a base for this URL.
bool IsGroupwareUrl(const std::u16string& url);

}  // namespace tt
