#pragma once
// The network side of the test browser: real HTTP exchanges through WinINet, with the cookies
// of one browser session kept here (not in WinINet's process-wide store), so that each test
// starts logged out and sees exactly the cookies its own pages set.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "support/threads.h"

namespace tthost {

struct HttpExchange {
    // What was sent.
    std::wstring method;
    std::wstring url;
    std::wstring headers;  // the request's extra header lines, each ending in "\r\n"
    std::vector<uint8_t> body;
    // What came back (status 0: no answer; error holds GetLastError()).
    DWORD status = 0;
    DWORD error = 0;
    std::wstring responseHeaders;  // raw, "\r\n"-separated
    std::vector<std::wstring> setCookies;
};

struct HttpAnswer {
    bool answered = false;  // a status line came back (any status)
    DWORD status = 0;
    DWORD error = 0;   // WinINet error when nothing came back
    std::wstring url;  // the final address after redirects
    std::wstring contentType;
    std::vector<uint8_t> body;
};

class HostSession {
public:
    HostSession() = default;
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // One request with redirects followed (at most 10). headers: extra lines separated by
    // "\n" or "\r\n"; when they carry no Cookie line, the session's cookies for the address are
    // added. The user agent is the process's current URL-moniker user agent, so a token that a
    // helper object adds shows up on the wire as it would in the browser.
    HttpAnswer Fetch(const std::wstring& method, const std::wstring& url, const std::wstring& headers,
                     const std::vector<uint8_t>& body);

    // The cookie header value for an address ("a=1; b=2"); withHttpOnly false gives what a
    // page's script sees (document.cookie).
    std::wstring CookiesFor(const std::wstring& url, bool withHttpOnly = true) const;
    // Stores one Set-Cookie value received from url.
    void StoreCookie(const std::wstring& url, const std::wstring& setCookie);
    void ClearCookies();

    std::vector<HttpExchange> Exchanges() const;
    void ClearExchanges();

    // Requests go out directly unless this is set; then they follow the current user's
    // Internet settings (a configured proxy), as the browser's own requests do.
    void UseSystemProxy(bool on) { systemProxy_ = on; }
    // Every request goes to this proxy ("127.0.0.1:port"), whatever its host: lets a test
    // visit any host name on a stand-in server. Empty: as before.
    void UseProxy(const std::wstring& proxy) {
        std::lock_guard<tt::CriticalSection> g(lock_);
        proxy_ = proxy;
    }

private:
    struct Cookie {
        std::wstring name, value, domain, path;
        bool hostOnly = true;
        bool httpOnly = false;
        bool secure = false;
    };
    mutable tt::CriticalSection lock_;
    std::vector<Cookie> cookies_;
    std::vector<HttpExchange> exchanges_;
    std::atomic<bool> systemProxy_{false};
    std::wstring proxy_;
};

// Parts of an address by InternetCrackUrlW (lower-case host; path includes the query).
struct UrlParts {
    bool ok = false;
    std::wstring scheme, host, path;
    INTERNET_PORT port = 0;
};
UrlParts SplitUrl(const std::wstring& url);

// A relative reference resolved against a base address (UrlCombineW).
std::wstring ResolveUrl(const std::wstring& base, const std::wstring& relative);

// Bytes of a page decoded by its character set name (utf-8, shift_jis, euc-jp, ...); an unknown
// or empty name tries UTF-8 first, then code page 932.
std::wstring DecodeBytes(const std::vector<uint8_t>& bytes, const std::wstring& charset);
UINT CodePageOfCharset(const std::wstring& charset);

}  // namespace tthost
