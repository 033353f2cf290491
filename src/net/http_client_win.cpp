#include "net/http_client_win.h"

#include <objbase.h>
#include <oleauto.h>
#include <mlang.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "support/fault_guard.h"
#include "support/unique_handle_win.h"
#include "support/wipe.h"
#include "text/url.h"

namespace tt {
namespace {

// Missing from mingw's libuuid.
constexpr GUID kClsidMultiLanguage = {0x275c23e2, 0x3747, 0x11d0, {0x9f, 0xea, 0x00, 0xaa, 0x00, 0x3f, 0x86, 0x46}};
constexpr GUID kIidMultiLanguage = {0x275c23e1, 0x3747, 0x11d0, {0x9f, 0xea, 0x00, 0xaa, 0x00, 0x3f, 0x86, 0x46}};

constexpr int kFallbackCodePage = 932;
constexpr DWORD kReadChunk = 4096;

// The background request threads have no apartment of their own; the MIME database needs one.
class CComScope {
public:
    CComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    HRESULT hr_;
};

struct BstrDeleter {
    void operator()(BSTR s) const { SysFreeString(s); }
};

// The platform's MIME database and converter, for the calling thread.
class CMultiLanguage {
public:
    CMultiLanguage() {
        if (FAILED(CoCreateInstance(kClsidMultiLanguage, nullptr, CLSCTX_ALL, kIidMultiLanguage,
                                    reinterpret_cast<void**>(&object_))))
            object_ = nullptr;
    }
    ~CMultiLanguage() {
        if (object_) object_->Release();
    }
    CMultiLanguage(const CMultiLanguage&) = delete;
    CMultiLanguage& operator=(const CMultiLanguage&) = delete;
    IMultiLanguage* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    CComScope com_;  // before object_: the apartment outlives the object
    IMultiLanguage* object_ = nullptr;
};

// Some internet encodings of the MIME database (EUC-JP's 51932 among them) are not known to
// MultiByteToWideChar; the database's own converter knows them.
std::u16string ConvertWithMultiLanguage(const char* bytes, size_t length, UINT codePage) {
    CMultiLanguage multiLanguage;
    if (!multiLanguage || length > 0x7fffffff) return {};
    DWORD mode = 0;
    UINT sourceLength = static_cast<UINT>(length);
    UINT wideLength = 0;
    if (multiLanguage->ConvertStringToUnicode(&mode, codePage, const_cast<CHAR*>(bytes), &sourceLength, nullptr,
                                              &wideLength) != S_OK ||
        wideLength == 0)
        return {};
    std::wstring wide(wideLength, L'\0');
    mode = 0;
    sourceLength = static_cast<UINT>(length);
    if (multiLanguage->ConvertStringToUnicode(&mode, codePage, const_cast<CHAR*>(bytes), &sourceLength, wide.data(),
                                              &wideLength) != S_OK)
        return {};
    return FromWide(wide.data(), std::min<size_t>(wideLength, wide.size()));
}

std::u16string QueryContentType(HINTERNET request) {
    std::vector<wchar_t> buffer(260);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(request, HTTP_QUERY_CONTENT_TYPE, buffer.data(), &size, nullptr))
            return FromWide(buffer.data(), size / sizeof(wchar_t));
        // A long value (many parameters) still carries its charset: ask again with room for it.
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > 65536) break;
        buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
    }
    return {};  // a missing header counts as an empty value
}

// One deadline for a whole request, from before the connection to the last byte: the socket
// time-outs count per operation, so a server that sends a byte now and then would hold the
// browser window for as long as it liked. When the time is up during a call on the request,
// a timer thread closes the request handle, which makes the blocked WinINet call return with
// an error; when it is up between calls, no further call is made. Either way the request fails.
class CRequestDeadline {
public:
    CRequestDeadline(unique_hinternet& request, DWORD ms) : request_(request), handle_(request.get()) {
        if (!CreateTimerQueueTimer(&timer_, nullptr, &CRequestDeadline::OnTime, this, ms, 0,
                                   WT_EXECUTEONLYONCE))
            timer_ = nullptr;  // the socket time-outs still bound each call
    }
    ~CRequestDeadline() {
        // Waits for a callback that is running: nothing touches the handle after this.
        if (timer_) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
        if (closedByTimer_) request_.release();
    }
    CRequestDeadline(const CRequestDeadline&) = delete;
    CRequestDeadline& operator=(const CRequestDeadline&) = delete;

    // Brackets every call on the request. Enter is false when the time is up (make no call);
    // Leave is false when it ran out during the call (its result does not count).
    bool Enter() { return InterlockedCompareExchange(&state_, kInCall, kIdle) == kIdle; }
    bool Leave() { return InterlockedCompareExchange(&state_, kIdle, kInCall) == kInCall; }

private:
    static constexpr LONG kIdle = 0;
    static constexpr LONG kInCall = 1;
    static constexpr LONG kExpired = 2;

    static VOID CALLBACK OnTime(PVOID context, BOOLEAN) {
        auto* self = static_cast<CRequestDeadline*>(context);
        if (InterlockedExchange(&self->state_, kExpired) == kInCall) {
            self->closedByTimer_ = true;
            InternetCloseHandle(self->handle_);
        }
    }

    unique_hinternet& request_;
    HINTERNET handle_;
    HANDLE timer_ = nullptr;
    volatile LONG state_ = kIdle;
    bool closedByTimer_ = false;  // written by the callback, read after it has finished
};

// A number header of the answer, when it is there.
bool QueryNumber(HINTERNET request, DWORD query, DWORD* value) {
    DWORD size = sizeof *value;
    return HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) != FALSE;
}

bool HasHeader(HINTERNET request, DWORD query) {
    DWORD size = 0;
    return HttpQueryInfoW(request, query, nullptr, &size, nullptr) || GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// The whole body, or nothing: a read that fails, fewer bytes than Content-Length announced, or
// more than the cap allows make the request a failed one. A cut-off permission file must not
// count as one without its AllowAutoLogin line.
bool ReadBody(HINTERNET request, const CHttpOptions& options, CRequestDeadline& deadline, std::string* bytes) {
    DWORD announced = 0;
    // With chunked transfer the length header (if any) is not the body's.
    const bool lengthKnown = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, &announced) &&
                             !HasHeader(request, HTTP_QUERY_TRANSFER_ENCODING);
    if (lengthKnown && announced > options.maxBodyBytes) return false;  // not an answer of ours
    if (lengthKnown) bytes->reserve(announced);
    std::vector<char> chunk(kReadChunk);
    for (;;) {
        // Asking what has arrived first keeps each read short, so the deadline is looked at
        // between reads even where closing the handle does not end a read that waits.
        DWORD available = 0;
        if (!deadline.Enter()) return false;
        const BOOL queried = InternetQueryDataAvailable(request, &available, 0, 0);
        if (!deadline.Leave() || !queried) return false;
        const DWORD wanted = available == 0 ? kReadChunk : std::min<DWORD>(available, kReadChunk);
        DWORD read = 0;
        if (!deadline.Enter()) return false;
        const BOOL ok = InternetReadFile(request, chunk.data(), wanted, &read);
        if (!deadline.Leave() || !ok) return false;
        if (read == 0) break;
        if (read > options.maxBodyBytes - bytes->size()) return false;
        bytes->append(chunk.data(), read);
    }
    return !lengthKnown || bytes->size() == announced;
}

void SetTimeouts(HINTERNET handle, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD value = ms;
        InternetSetOptionW(handle, option, &value, sizeof value);
    }
}

}  // namespace

int CodePageFromContentType(const std::u16string& contentType) {
    const std::u16string name = CharsetNameFromContentType(contentType);
    if (name.empty()) return -1;
    CMultiLanguage multiLanguage;
    if (!multiLanguage) return kFallbackCodePage;
    std::unique_ptr<OLECHAR, BstrDeleter> bstr(SysAllocString(Wide(name)));
    MIMECSETINFO info{};
    if (!bstr || FAILED(multiLanguage->GetCharsetInfo(bstr.get(), &info))) return kFallbackCodePage;
    return static_cast<int>(info.uiInternetEncoding);
}

std::u16string DecodeResponseBody(const std::string& bytes, int codePage) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 both");
    size_t length = bytes.size();
    UINT cp = static_cast<UINT>(codePage);
    if (codePage == -1) {
        cp = CP_THREAD_ACP;
        // No charset: the body is read as one zero-terminated text, whatever the read sizes.
        const size_t zero = bytes.find('\0');
        if (zero != std::string::npos) length = zero;
    }
    if (length == 0 || length > 0x7fffffff) return {};
    const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(length), nullptr, 0);
    if (n <= 0) return codePage == -1 ? std::u16string() : ConvertWithMultiLanguage(bytes.data(), length, cp);
    // Straight into the result: no second copy of a large body.
    std::u16string text(static_cast<size_t>(n), u'\0');
    const int written = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(length),
                                            reinterpret_cast<wchar_t*>(&text[0]), n);
    if (written <= 0) return {};
    text.resize(static_cast<size_t>(written));
    return text;
}

std::string ToThreadAnsi(const std::u16string& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_THREAD_ACP, 0, Wide(text), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return {};
    std::string bytes(static_cast<size_t>(n), '\0');
    const int written = WideCharToMultiByte(CP_THREAD_ACP, 0, Wide(text), static_cast<int>(text.size()),
                                            bytes.data(), n, nullptr, nullptr);
    bytes.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return bytes;
}

std::u16string HttpRequest(const CHttpOptions& options, const std::u16string& url, const std::u16string& verb,
                           const std::u16string& headers, const std::u16string& body) {
    std::u16string text;
    GuardFaults([&] {
        CUrlParts parts;
        SplitUrl(parts, url);  // a failed split leaves no host, and the connection fails below
        // Declared in opening order: they close request first, then connection, then internet.
        const DWORD timeoutMs = std::min(options.timeoutMs, options.deadlineMs);
        unique_hinternet internet(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!internet) return;
        SetTimeouts(internet.get(), timeoutMs);
        unique_hinternet connection(InternetConnectW(internet.get(), Wide(parts.hostName), parts.port,
                                                     Wide(parts.userName), Wide(parts.password),
                                                     INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) return;
        const std::u16string objectName = parts.path + parts.extra;
        unique_hinternet request(HttpOpenRequestW(connection.get(), Wide(verb), Wide(objectName), nullptr, nullptr,
                                                  nullptr, HttpRequestFlags(parts.schemeKind == UrlSchemeHttps), 0));
        if (!request) return;
        // Set on every level: not every WinINet passes them down from the internet handle.
        SetTimeouts(connection.get(), timeoutMs);
        SetTimeouts(request.get(), timeoutMs);
        // Nothing so far has waited on the network: the name look-up, the connection, the
        // sending and every read come after this.
        CRequestDeadline deadline(request, options.deadlineMs);
        std::string post = ToThreadAnsi(body);  // may hold the log-in
        WipeOnExit<std::string> wipePost(post);
        std::u16string headerBlock = headers;  // HttpSendRequestW takes a non-const pointer
        if (!deadline.Enter()) return;
        const BOOL sent = HttpSendRequestW(request.get(), headerBlock.empty() ? nullptr : Wide(headerBlock),
                                           static_cast<DWORD>(headerBlock.size()),
                                           post.empty() ? nullptr : post.data(), static_cast<DWORD>(post.size()));
        if (!deadline.Leave() || !sent) return;
        Wipe(post);
        DWORD status = 0;
        if (!deadline.Enter()) return;
        const bool answered = QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, &status);
        if (!deadline.Leave() || !answered || status != 200) return;
        if (!deadline.Enter()) return;
        const std::u16string contentType = QueryContentType(request.get());
        if (!deadline.Leave()) return;
        std::string bytes;
        if (!ReadBody(request.get(), options, deadline, &bytes)) return;
        text = DecodeResponseBody(bytes, CodePageFromContentType(contentType));
    });
    return text;
}

std::u16string HttpRequest(const std::u16string& url, const std::u16string& verb, const std::u16string& headers,
                           const std::u16string& body) {
    return HttpRequest(CHttpOptions{}, url, verb, headers, body);
}

IHttpClient& DefaultHttpClient() {
    static CWinInetHttpClient client;
    return client;
}

}  // namespace tt
