#pragma once
// The toolbar's one way to talk HTTP: a request goes out with its verb, object name, header
// lines and body unchanged, and the body of a 200 answer comes back as UTF-16 text decoded
// with the character set the answer declares. Anything else (no connection, another status,
// a body past the size cap, cut short or still arriving at the deadline) gives the empty
// text: callers treat it as "no information".
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "support/threads.h"

namespace tt {

class CToolbarSettings;

class IHttpClient {
public:
    virtual ~IHttpClient() = default;
    // url: absolute; verb: passed through; headers: lines each ending in "\n", sent unchanged;
    // body: sent in the calling thread's ANSI code page (empty: no body).
    virtual std::u16string Request(const std::u16string& url, const std::u16string& verb,
                                   const std::u16string& headers, const std::u16string& body) = 0;
};

// What a background request hands its callback. Lives only for the callback's duration.
struct CHttpResult {
    ThreadId requestingThread = 0;
    CToolbarSettings* requester = nullptr;  // the shared settings object
    std::u16string text;                    // the answer, or empty
    uintptr_t callerValue = 0;
};

using HttpCallback = std::function<void(CHttpResult& result)>;

// One background request. Owned by its thread once started.
struct CHttpRequestJob {
    ThreadId requestingThread = 0;
    HttpCallback callback;
    std::u16string url;
    std::u16string verb;
    std::u16string headers;
    std::u16string body;
    uintptr_t callerValue = 0;
};

// Runs client.Request on a thread of its own and then the callback on that thread. The
// client must outlive the thread. Returns false (and runs nothing) when no thread could be
// started. A fault inside the request or the callback ends at the thread's guard.
bool StartHttpRequestThread(IHttpClient& client, HttpCallback callback, const std::u16string& url,
                            const std::u16string& verb, const std::u16string& headers,
                            const std::u16string& body, uintptr_t callerValue);

// Background requests still running (started and not yet past their callback). Each thread
// keeps the module loaded while it runs; tests wait for them.
size_t RunningHttpJobs();
// Waits until no background request runs; false when the time ran out first.
bool WaitForHttpJobs(std::chrono::milliseconds timeout);

// The character-set name of a Content-Type value ("charset=" is case-sensitive), or the
// empty text when it names none.
std::u16string CharsetNameFromContentType(const std::u16string& contentType);

// HttpOpenRequest flags: always from the server, no stored cookies, no UI; https adds
// secure and keep-connection.
uint32_t HttpRequestFlags(bool https);

// The body-size cap: a bigger answer is not one of ours and yields the empty text. The
// toolbar's files are a few lines and its list pages a few kilobytes; a 32-bit browser runs
// one of these in every window.
constexpr size_t kMaxHttpBodyBytes = size_t(1) << 20;

// The longest a request may take, start to last byte (the window's thread waits for it).
constexpr unsigned long kHttpDeadlineMs = 15000;

}  // namespace tt
