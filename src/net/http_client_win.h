#pragma once
// The HTTP client on WinINet.
#include <windows.h>

#include <optional>
#include <string>

#include "net/http_client.h"

namespace tt {

struct CHttpOptions {
    // Connect, send and receive time-outs: a dead or stalled server must not hold the
    // browser window for the platform's defaults (which are minutes, or unlimited).
    DWORD timeoutMs = 15000;
    // The whole request, from the connection to the last byte of the body; a request still
    // running then is abandoned and fails.
    DWORD deadlineMs = kHttpDeadlineMs;
    size_t maxBodyBytes = kMaxHttpBodyBytes;
};

// One request: the body of a 200 answer decoded with its declared character set, else empty.
std::u16string HttpRequest(const std::u16string& url, const std::u16string& verb,
                           const std::u16string& headers, const std::u16string& body);
std::u16string HttpRequest(const CHttpOptions& options, const std::u16string& url, const std::u16string& verb,
                           const std::u16string& headers, const std::u16string& body);

// The code page of a Content-Type value's charset parameter, from the platform's MIME
// database; 932 when the database cannot answer; -1 when the value names no character set.
int CodePageFromContentType(const std::u16string& contentType);

// A whole response body as text. A known code page converts every byte; -1 (no charset)
// reads the body as one zero-terminated text in the thread's ANSI code page.
std::u16string DecodeResponseBody(const std::string& bytes, int codePage);

// Text in the calling thread's ANSI code page (the background requests' post bodies); nothing
// when a character has no exact form there.
std::optional<std::string> ToThreadAnsi(const std::u16string& text);

// The place a redirect answer of url sends to (its Location resolved against url), when it
// lies on url's own server: the same scheme, host (in any letter case) and port. Else empty.
std::u16string SameServerRedirectTarget(const std::u16string& url, const std::u16string& location);

class CWinInetHttpClient : public IHttpClient {
public:
    explicit CWinInetHttpClient(CHttpOptions options = {}) : options_(options) {}
    std::u16string Request(const std::u16string& url, const std::u16string& verb,
                           const std::u16string& headers, const std::u16string& body) override {
        return HttpRequest(options_, url, verb, headers, body);
    }

private:
    CHttpOptions options_;
};

// The process's client (stateless; shared by every toolbar and background check).
IHttpClient& DefaultHttpClient();

}  // namespace tt
