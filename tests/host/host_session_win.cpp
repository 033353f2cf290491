#include "host/host_session_win.h"

#include <shlwapi.h>
#include <urlmon.h>

#include <cwctype>

#include "host/html_reader_win.h"

namespace tthost {
namespace {

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring Trim(const std::wstring& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == L' ' || s[b] == L'\t')) ++b;
    while (e > b && (s[e - 1] == L' ' || s[e - 1] == L'\t')) --e;
    return s.substr(b, e - b);
}

// Header lines as WinINet wants them: each ends in CR LF; empty lines dropped.
std::wstring NormalizeHeaders(const std::wstring& headers, bool* hasCookie) {
    std::wstring out;
    size_t start = 0;
    while (start <= headers.size()) {
        size_t end = headers.find(L'\n', start);
        if (end == std::wstring::npos) end = headers.size();
        std::wstring line = headers.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) {
            if (Lower(line).rfind(L"cookie:", 0) == 0) *hasCookie = true;
            out += line + L"\r\n";
        }
        start = end + 1;
    }
    return out;
}

std::wstring QueryHeader(HINTERNET request, DWORD what, DWORD index = 0, bool* found = nullptr) {
    DWORD size = 0;
    DWORD idx = index;
    HttpQueryInfoW(request, what, nullptr, &size, &idx);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
        if (found) *found = false;
        return {};
    }
    std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
    idx = index;
    if (!HttpQueryInfoW(request, what, &buf[0], &size, &idx)) {
        if (found) *found = false;
        return {};
    }
    if (found) *found = true;
    buf.resize(size / sizeof(wchar_t));
    return buf;
}

std::wstring CurrentUserAgent() {
    char buf[1024] = {};
    DWORD len = 0;
    // Judged by the length and the text: the call reports E_OUTOFMEMORY even when it filled buf.
    UrlMkGetSessionOption(URLMON_OPTION_USERAGENT, buf, sizeof buf - 1, &len, 0);
    std::string ua(buf, strnlen(buf, sizeof buf - 1));
    if (ua.empty()) return L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)";
    std::wstring wide(ua.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, ua.data(), static_cast<int>(ua.size()), &wide[0],
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? n : 0);
    return wide;
}

}  // namespace

UrlParts SplitUrl(const std::wstring& url) {
    UrlParts parts;
    URL_COMPONENTSW c = {};
    c.dwStructSize = sizeof c;
    wchar_t scheme[32], host[256], path[4096], extra[4096];
    c.lpszScheme = scheme;
    c.dwSchemeLength = ARRAYSIZE(scheme);
    c.lpszHostName = host;
    c.dwHostNameLength = ARRAYSIZE(host);
    c.lpszUrlPath = path;
    c.dwUrlPathLength = ARRAYSIZE(path);
    c.lpszExtraInfo = extra;
    c.dwExtraInfoLength = ARRAYSIZE(extra);
    if (url.empty() || !InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) return parts;
    parts.ok = true;
    parts.scheme = Lower(std::wstring(scheme, c.dwSchemeLength));
    parts.host = Lower(std::wstring(host, c.dwHostNameLength));
    parts.path = std::wstring(path, c.dwUrlPathLength);
    std::wstring query(extra, c.dwExtraInfoLength);
    const size_t hash = query.find(L'#');
    if (hash != std::wstring::npos) query.resize(hash);  // a fragment never goes on the wire
    parts.path += query;
    if (parts.path.empty()) parts.path = L"/";
    parts.port = c.nPort;
    return parts;
}

std::wstring ResolveUrl(const std::wstring& base, const std::wstring& relative) {
    if (base.empty()) return relative;
    // Nothing (a form without an action) is the document itself; a query or a fragment alone
    // replaces only that part of the base.
    if (relative.empty()) return base.substr(0, base.find(L'#'));
    if (!relative.empty() && relative[0] == L'?') return base.substr(0, base.find_first_of(L"?#")) + relative;
    if (!relative.empty() && relative[0] == L'#') return base.substr(0, base.find(L'#')) + relative;
    wchar_t buf[4096];
    DWORD size = ARRAYSIZE(buf);
    if (FAILED(UrlCombineW(base.c_str(), relative.c_str(), buf, &size, URL_DONT_SIMPLIFY))) return relative;
    return buf;
}

UINT CodePageOfCharset(const std::wstring& charset) {
    const std::wstring c = Lower(charset);
    if (c == L"utf-8" || c == L"utf8") return CP_UTF8;
    if (c == L"shift_jis" || c == L"shift-jis" || c == L"sjis" || c == L"x-sjis" || c == L"windows-31j" ||
        c == L"cp932")
        return 932;
    if (c == L"euc-jp" || c == L"x-euc-jp") return 20932;
    if (c == L"iso-2022-jp") return 50220;
    if (c == L"iso-8859-1" || c == L"windows-1252" || c == L"us-ascii" || c == L"latin1") return 1252;
    return 0;
}

std::wstring DecodeBytes(const std::vector<uint8_t>& bytes, const std::wstring& charset) {
    if (bytes.empty()) return {};
    auto convert = [&](UINT cp, DWORD flags) -> std::pair<bool, std::wstring> {
        const char* data = reinterpret_cast<const char*>(bytes.data());
        const int n = MultiByteToWideChar(cp, flags, data, static_cast<int>(bytes.size()), nullptr, 0);
        if (n <= 0) return {false, {}};
        std::wstring out(n, L'\0');
        MultiByteToWideChar(cp, flags, data, static_cast<int>(bytes.size()), &out[0], n);
        return {true, out};
    };
    if (UINT cp = CodePageOfCharset(charset)) {
        auto r = convert(cp, 0);
        if (r.first) return r.second;
    }
    auto utf8 = convert(CP_UTF8, MB_ERR_INVALID_CHARS);
    if (utf8.first) return utf8.second;
    return convert(932, 0).second;
}

HttpAnswer HostSession::Fetch(const std::wstring& method, const std::wstring& url,
                              const std::wstring& headers, const std::vector<uint8_t>& body) {
    HttpAnswer answer;
    std::wstring verb = method.empty() ? L"GET" : method;
    std::wstring current = url;
    std::vector<uint8_t> payload = body;
    std::wstring extra = headers;
    const std::wstring agent = CurrentUserAgent();
    for (int hop = 0; hop < 10; ++hop) {
        answer.url = current;
        const UrlParts parts = SplitUrl(current);
        HttpExchange exchange;
        exchange.method = verb;
        exchange.url = current;
        exchange.body = payload;
        if (!parts.ok || (parts.scheme != L"http" && parts.scheme != L"https")) {
            answer.error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
            exchange.error = answer.error;
            std::lock_guard<tt::CriticalSection> g(lock_);
            exchanges_.push_back(exchange);
            return answer;
        }
        bool hasCookie = false;
        std::wstring lines = NormalizeHeaders(extra, &hasCookie);
        if (!hasCookie) {
            const std::wstring cookies = CookiesFor(current);
            if (!cookies.empty()) lines += L"Cookie: " + cookies + L"\r\n";
        }
        exchange.headers = lines;

        std::wstring proxy;
        {
            std::lock_guard<tt::CriticalSection> g(lock_);
            proxy = proxy_;
        }
        HINTERNET session =
            !proxy.empty()
                ? InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), L"<-loopback>", 0)
                : InternetOpenW(agent.c_str(),
                                systemProxy_ ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_DIRECT,
                                nullptr, nullptr, 0);
        HINTERNET connection = session ? InternetConnectW(session, parts.host.c_str(), parts.port, nullptr,
                                                          nullptr, INTERNET_SERVICE_HTTP, 0, 0)
                                       : nullptr;
        DWORD flags = INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                      INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
        if (parts.scheme == L"https") flags |= INTERNET_FLAG_SECURE;
        HINTERNET request = connection ? HttpOpenRequestW(connection, verb.c_str(), parts.path.c_str(),
                                                          nullptr, nullptr, nullptr, flags, 0)
                                       : nullptr;
        BOOL sent = FALSE;
        if (request) {
            sent = HttpSendRequestW(
                request, lines.empty() ? nullptr : lines.c_str(), lines.empty() ? 0 : static_cast<DWORD>(-1),
                payload.empty() ? nullptr : payload.data(), static_cast<DWORD>(payload.size()));
        }
        if (!sent) {
            answer.error = GetLastError();
            exchange.error = answer.error;
            if (request) InternetCloseHandle(request);
            if (connection) InternetCloseHandle(connection);
            if (session) InternetCloseHandle(session);
            std::lock_guard<tt::CriticalSection> g(lock_);
            exchanges_.push_back(exchange);
            return answer;
        }
        DWORD status = 0, size = sizeof status;
        HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        exchange.status = status;
        exchange.responseHeaders = QueryHeader(request, HTTP_QUERY_RAW_HEADERS_CRLF);
        for (DWORD index = 0; index < 64; ++index) {
            bool found = false;
            std::wstring value = QueryHeader(request, HTTP_QUERY_SET_COOKIE, index, &found);
            if (!found) break;
            exchange.setCookies.push_back(value);
            StoreCookie(current, value);
        }
        answer.answered = true;
        answer.status = status;
        answer.contentType = QueryHeader(request, HTTP_QUERY_CONTENT_TYPE);
        std::wstring location = QueryHeader(request, HTTP_QUERY_LOCATION);
        answer.body.clear();
        for (;;) {
            uint8_t chunk[8192];
            DWORD read = 0;
            if (!InternetReadFile(request, chunk, sizeof chunk, &read) || read == 0) break;
            answer.body.insert(answer.body.end(), chunk, chunk + read);
        }
        InternetCloseHandle(request);
        InternetCloseHandle(connection);
        InternetCloseHandle(session);
        {
            std::lock_guard<tt::CriticalSection> g(lock_);
            exchanges_.push_back(exchange);
        }
        const bool redirect =
            status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        if (!redirect || location.empty()) return answer;
        current = ResolveUrl(current, location);
        if (status != 307 && status != 308) {
            // The browser turns a redirected post into a plain request without its body.
            verb = L"GET";
            payload.clear();
            std::wstring kept;
            size_t start = 0;
            while (start < extra.size()) {
                size_t end = extra.find(L'\n', start);
                if (end == std::wstring::npos) end = extra.size();
                std::wstring line = extra.substr(start, end - start + (end < extra.size() ? 1 : 0));
                if (Lower(line).rfind(L"content-type:", 0) != 0) kept += line;
                start = end + 1;
            }
            extra = kept;
        }
    }
    return answer;
}

void HostSession::StoreCookie(const std::wstring& url, const std::wstring& setCookie) {
    const UrlParts parts = SplitUrl(url);
    if (!parts.ok) return;
    Cookie cookie;
    bool remove = false;
    size_t start = 0;
    bool first = true;
    while (start <= setCookie.size()) {
        size_t end = setCookie.find(L';', start);
        if (end == std::wstring::npos) end = setCookie.size();
        const std::wstring item = Trim(setCookie.substr(start, end - start));
        const size_t eq = item.find(L'=');
        const std::wstring key = Trim(eq == std::wstring::npos ? item : item.substr(0, eq));
        const std::wstring value = eq == std::wstring::npos ? std::wstring() : Trim(item.substr(eq + 1));
        if (first) {
            if (key.empty()) return;
            cookie.name = key;
            cookie.value = value;
            first = false;
        } else {
            const std::wstring attr = Lower(key);
            if (attr == L"path" && !value.empty() && value[0] == L'/') {
                cookie.path = value;
            } else if (attr == L"domain" && !value.empty()) {
                std::wstring d = Lower(value);
                if (d[0] == L'.') d.erase(0, 1);
                // A domain that does not cover the answering host: the browser refuses the cookie.
                if (parts.host != d && !(parts.host.size() > d.size() &&
                                         parts.host.compare(parts.host.size() - d.size(), d.size(), d) == 0 &&
                                         parts.host[parts.host.size() - d.size() - 1] == L'.'))
                    return;
                cookie.domain = d;
                cookie.hostOnly = false;
            } else if (attr == L"httponly") {
                cookie.httpOnly = true;
            } else if (attr == L"secure") {
                cookie.secure = true;
            } else if (attr == L"max-age") {
                if (!value.empty() && _wtoi(value.c_str()) <= 0) remove = true;
            } else if (attr == L"expires") {
                SYSTEMTIME when = {}, now = {};
                FILETIME whenFt, nowFt;
                if (InternetTimeToSystemTimeW(value.c_str(), &when, 0) &&
                    SystemTimeToFileTime(&when, &whenFt)) {
                    GetSystemTime(&now);
                    SystemTimeToFileTime(&now, &nowFt);
                    if (CompareFileTime(&whenFt, &nowFt) < 0) remove = true;
                }
            }
        }
        start = end + 1;
    }
    if (cookie.domain.empty()) cookie.domain = parts.host;
    if (cookie.path.empty()) {
        // The default path is the directory of the answering address.
        std::wstring path = parts.path.substr(0, parts.path.find(L'?'));
        const size_t slash = path.rfind(L'/');
        cookie.path = slash == 0 || slash == std::wstring::npos ? L"/" : path.substr(0, slash);
    }
    std::lock_guard<tt::CriticalSection> g(lock_);
    for (auto it = cookies_.begin(); it != cookies_.end(); ++it) {
        if (it->name == cookie.name && it->domain == cookie.domain && it->path == cookie.path) {
            cookies_.erase(it);
            break;
        }
    }
    if (!remove) cookies_.push_back(cookie);
}

std::wstring HostSession::CookiesFor(const std::wstring& url, bool withHttpOnly) const {
    const UrlParts parts = SplitUrl(url);
    if (!parts.ok) return {};
    const std::wstring path = parts.path.substr(0, parts.path.find(L'?'));
    std::wstring out;
    std::lock_guard<tt::CriticalSection> g(lock_);
    for (const Cookie& c : cookies_) {
        const bool domainOk = c.hostOnly ? parts.host == c.domain
                                         : parts.host == c.domain ||
                                               (parts.host.size() > c.domain.size() &&
                                                parts.host.compare(parts.host.size() - c.domain.size(),
                                                                   c.domain.size(), c.domain) == 0 &&
                                                parts.host[parts.host.size() - c.domain.size() - 1] == L'.');
        const bool pathOk =
            path.compare(0, c.path.size(), c.path) == 0 &&
            (path.size() == c.path.size() || c.path.back() == L'/' || path[c.path.size()] == L'/');
        if (!domainOk || !pathOk) continue;
        if (c.secure && parts.scheme != L"https") continue;
        if (c.httpOnly && !withHttpOnly) continue;
        if (!out.empty()) out += L"; ";
        out += c.name + L"=" + c.value;
    }
    return out;
}

void HostSession::ClearCookies() {
    std::lock_guard<tt::CriticalSection> g(lock_);
    cookies_.clear();
}

std::vector<HttpExchange> HostSession::Exchanges() const {
    std::lock_guard<tt::CriticalSection> g(lock_);
    return exchanges_;
}

void HostSession::ClearExchanges() {
    std::lock_guard<tt::CriticalSection> g(lock_);
    exchanges_.clear();
}

}  // namespace tthost
