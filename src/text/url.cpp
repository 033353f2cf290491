#include "text/url.h"

#include "resources/string_table.h"
#include "text/pattern_matcher.h"
#include "string_ids.h"

namespace tt {
namespace {

struct SchemeInfo {
    const char16_t* name;
    uint16_t defaultPort;
};

// Indexed by UrlScheme.
constexpr SchemeInfo kSchemes[] = {
    {u"ftp", 21}, {u"gopher", 70}, {u"http", 80},  {u"https", 443},
    {u"file", 0}, {u"news", 0},    {u"mailto", 0}, {u"socks", 1080},
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

// Reads a URL from left to right into its parts: the authority (scheme, user, password,
// host, port), then the path and the extra part. Every step is false on a URL refused.
class CUrlReader {
public:
    CUrlReader(CUrlParts& parts, const std::u16string& url) : parts_(parts), url_(url), n_(url.size()) {}

    bool Split() {
        if (!ReadAuthority() || !schemeRead_) return false;
        if (!ReadPathAndExtra()) return false;
        SettlePort();
        return true;
    }

private:
    bool ReadAuthority() {
        while (i_ < n_ && !authorityEnded_) {
            const char16_t c = url_[i_];
            bool ok = true;
            if (c == u':' && !schemeRead_) {
                ok = EndScheme();
            } else if (c == u':') {
                ok = ReadColonText();
            } else if (c == u'@') {
                ok = EndUser();
            } else if (c == u'/' || c == u'?' || c == u'#' || i_ + 1 == n_) {
                ok = EndHost(c);
            } else {
                if (segment_.size() >= kMaxSegment) return false;
                segment_.push_back(c);
                ++i_;
            }
            if (!ok) return false;
        }
        return true;
    }

    // The first ':' ends the scheme; what follows it says whether an authority comes.
    bool EndScheme() {
        parts_.schemeName = segment_;
        parts_.schemeKind = FindScheme(segment_);
        if (parts_.schemeKind < 0 && segment_.size() > CUrlParts::kMaxScheme) return false;
        schemeRead_ = true;
        segment_.clear();
        const bool file = parts_.schemeKind == UrlSchemeFile;
        if (i_ + 2 < n_ && url_[i_ + 1] == u'/' && url_[i_ + 2] == u'/') {
            if (parts_.schemeKind == UrlSchemeMailto) return false;
            i_ += 3;
        } else if (i_ + 1 < n_ && url_[i_ + 1] == u'/') {
            i_ += 1;  // no authority: the path starts at the slash
            authorityEnded_ = true;
            return true;
        } else {
            i_ += 1;
        }
        if (file) {
            pathOnly_ = true;
            authorityEnded_ = true;
        }
        return true;
    }

    // A later ':': a port after the host, or a password after the user name.
    bool ReadColonText() {
        size_t j = i_ + 1;
        while (j < n_ && url_[j] != u'/' && url_[j] != u'@' && url_[j] != u'?' && url_[j] != u'#') ++j;
        if (j - (i_ + 1) > kMaxColonText) return false;
        const std::u16string text = url_.substr(i_ + 1, j - (i_ + 1));
        const bool atEnd = j == n_ || url_[j] != u'@';
        if (atEnd && !portRead_) {
            if (segment_.size() > CUrlParts::kMaxHost) return false;
            parts_.hostName = segment_;
            hostRead_ = true;
            parts_.port = LeadingPort(text);
            portRead_ = true;
            segment_.clear();
            i_ = j;
            if (i_ == n_) authorityEnded_ = true;
            return true;
        }
        if (atEnd || userRead_) return false;
        if (segment_.size() > CUrlParts::kMaxUser) return false;
        if (text.size() > CUrlParts::kMaxPassword) return false;
        if (segment_.empty() && !text.empty()) return false;  // a password needs a user
        parts_.userName = segment_;
        parts_.password = text;
        userRead_ = true;
        segment_.clear();
        i_ = j + 1;
        return true;
    }

    // '@' ends a user name without a password.
    bool EndUser() {
        if (userRead_) return false;
        if (segment_.size() > CUrlParts::kMaxUser) return false;
        parts_.userName = segment_;
        userRead_ = true;
        segment_.clear();
        ++i_;
        return true;
    }

    // A delimiter, or the URL's last character, ends the host and the authority.
    bool EndHost(char16_t c) {
        if (c != u'/' && c != u'?' && c != u'#') {
            segment_.push_back(c);
            ++i_;
        }
        if (!hostRead_) {
            if (segment_.size() > CUrlParts::kMaxHost) return false;
            parts_.hostName = segment_;
            hostRead_ = true;
        }
        segment_.clear();
        authorityEnded_ = true;
        return true;
    }

    bool ReadPathAndExtra() {
        size_t j = i_;
        while (j < n_ && (pathOnly_ || (url_[j] != u'?' && url_[j] != u'#'))) ++j;
        if (j - i_ > kMaxSegment || j - i_ > CUrlParts::kMaxPath) return false;
        parts_.path = url_.substr(i_, j - i_);
        if (n_ - j > CUrlParts::kMaxExtra) return false;
        parts_.extra = url_.substr(j);
        return true;
    }

    // Schemes without a port have none; a port not given is the scheme's default.
    void SettlePort() {
        if (parts_.schemeKind == UrlSchemeFile || parts_.schemeKind == UrlSchemeNews ||
            parts_.schemeKind == UrlSchemeMailto) {
            parts_.port = 0;
        } else if (!portRead_) {
            parts_.port = parts_.schemeKind >= 0 ? kSchemes[parts_.schemeKind].defaultPort : 0;
        }
    }

    CUrlParts& parts_;
    const std::u16string& url_;
    const size_t n_;
    size_t i_ = 0;
    std::u16string segment_;
    bool schemeRead_ = false;
    bool portRead_ = false;
    bool userRead_ = false;
    bool hostRead_ = false;
    bool pathOnly_ = false;  // file: everything after the scheme is the path
    bool authorityEnded_ = false;
};

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
    if (!CUrlReader(parts, url).Split()) {
        parts.Reset();
        return false;
    }
    return true;
}

std::u16string GetServerBaseUrl(const std::u16string& url) {
    return ExtractPatternGroup(url, LoadResourceString(kServerBaseUrlPattern), 0);
}

bool IsGroupwareUrl(const std::u16string& url) { return !GetServerBaseUrl(url).empty(); }

}  // namespace tt
