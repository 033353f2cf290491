#include "net/http_client_win.h"

#include <objbase.h>
#include <oleauto.h>
#include <mlang.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "support/com_object_win.h"
#include "support/code_page_win.h"
#include "support/com_ptr_win.h"
#include "support/fault_guard.h"
#include "support/unique_handle_win.h"
#include "support/utf.h"
#include "support/wipe.h"
#include "text/url.h"

namespace tt {
namespace {

// Missing from mingw's libuuid.
constexpr GUID kClsidMultiLanguage = {
    0x275c23e2, 0x3747, 0x11d0, {0x9f, 0xea, 0x00, 0xaa, 0x00, 0x3f, 0x86, 0x46}};
constexpr GUID kIidMultiLanguage = {
    0x275c23e1, 0x3747, 0x11d0, {0x9f, 0xea, 0x00, 0xaa, 0x00, 0x3f, 0x86, 0x46}};

constexpr int kFallbackCodePage = 932;
constexpr DWORD kReadChunk = 4096;
// Redirects a request carrying the session or a body follows itself, at the most.
constexpr int kMaxOwnRedirects = 5;

// The platform's MIME database and converter, for the calling thread (the background request
// threads have no apartment of their own; the database needs one).
class CMultiLanguage {
public:
    CMultiLanguage() {
        if (FAILED(CoCreateInstance(kClsidMultiLanguage, nullptr, CLSCTX_ALL, kIidMultiLanguage,
                                    object_.put_void())))
            object_.reset();
    }
    IMultiLanguage* operator->() const { return object_.get(); }
    explicit operator bool() const { return static_cast<bool>(object_); }

private:
    ComApartment apartment_;  // before object_: the apartment outlives the object
    com_ptr<IMultiLanguage> object_;
};

// Some internet encodings of the MIME database (EUC-JP's 51932 among them) are not known to
// MultiByteToWideChar; the database's own converter knows them.
std::u16string ConvertWithMultiLanguage(const char* bytes, size_t length, UINT codePage) {
    CMultiLanguage multiLanguage;
    if (!multiLanguage || length > 0x7fffffff) return {};
    DWORD mode = 0;
    UINT sourceLength = static_cast<UINT>(length);
    UINT wideLength = 0;
    if (multiLanguage->ConvertStringToUnicode(&mode, codePage, const_cast<CHAR*>(bytes), &sourceLength,
                                              nullptr, &wideLength) != S_OK ||
        wideLength == 0)
        return {};
    std::wstring wide(wideLength, L'\0');
    mode = 0;
    sourceLength = static_cast<UINT>(length);
    if (multiLanguage->ConvertStringToUnicode(&mode, codePage, const_cast<CHAR*>(bytes), &sourceLength,
                                              wide.data(), &wideLength) != S_OK)
        return {};
    return FromWide(wide.data(), std::min<size_t>(wideLength, wide.size()));
}

// A header of the answer; empty when it is missing.
std::u16string QueryText(HINTERNET request, DWORD query) {
    std::vector<wchar_t> buffer(260);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(request, query, buffer.data(), &size, nullptr))
            return FromWide(buffer.data(), size / sizeof(wchar_t));
        // A long value (a Content-Type with many parameters) still counts: ask again with room.
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > 65536) break;
        buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
    }
    return {};  // a missing header counts as an empty value
}

// One deadline for a whole request, from before the connection to the last byte: the socket
// time-outs count per operation, so a server that sends a byte now and then (of its body or
// of its status line) would hold the browser window for as long as it liked. The request runs
// in WinINet's asynchronous mode and this thread waits for each step only until the deadline;
// a request still running then is abandoned and fails.
//
// What WinINet's own threads and this one share lives here. WinINet may still be working on an
// abandoned request long after the call returned (a blocked read ends only with the server),
// so the state is freed by whoever lets go of it last: this thread, or the request handle's
// closing notice, the last callback WinINet sends for it. Until then it keeps the module
// loaded, since the callback is this module's code.
class CAsyncRequest {
public:
    static CAsyncRequest* Create() {
        auto* state = new (std::nothrow) CAsyncRequest();
        if (state && !state->done_) {
            delete state;
            return nullptr;
        }
        return state;
    }
    CAsyncRequest(const CAsyncRequest&) = delete;
    CAsyncRequest& operator=(const CAsyncRequest&) = delete;

    void AddRef() { InterlockedIncrement(&refs_); }
    void Release() {
        if (InterlockedDecrement(&refs_) == 0) delete this;
    }

    // The status callback of the internet handle (and so of every handle made from it); only
    // the request handle carries this state as its context.
    static void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
        auto* state = reinterpret_cast<CAsyncRequest*>(context);
        if (!state) return;
        if (status == INTERNET_STATUS_REQUEST_COMPLETE && info) {
            const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
            state->succeeded_ = result->dwResult != 0;
            SetEvent(state->done_.get());
        } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
            state->Release();
        }
    }

    // Before each call that may pend: a completion left over from an earlier call (or an
    // earlier request handle) must not end the wait for this one.
    void Arm() {
        succeeded_ = false;
        ResetEvent(done_.get());
    }

    // The outcome of a call made in asynchronous mode: at once, or when WinINet reports it
    // complete, unless the deadline passes first.
    bool Outcome(BOOL returned, DWORD deadlineTick) {
        if (returned) return true;
        if (GetLastError() != ERROR_IO_PENDING) return false;
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<LONG>(deadlineTick - now) > 0 ? deadlineTick - now : 0;
        return WaitForSingleObject(done_.get(), left) == WAIT_OBJECT_0 && succeeded_;
    }

    // Buffers WinINet fills or reads after the call that named them has returned.
    std::u16string headers;
    std::string post;
    char chunk[kReadChunk];
    DWORD read = 0;

private:
    CAsyncRequest() : done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) { com::ModuleLock(); }
    ~CAsyncRequest() {
        Wipe(post);  // may hold the log-in
        // Let go on one of WinINet's threads, from inside this module's callback: the module
        // must not be unloaded under the code that thread is still returning through.
        if (GetCurrentThreadId() != creator_) {
            HMODULE pinned = nullptr;
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                               reinterpret_cast<LPCWSTR>(&CAsyncRequest::OnStatus), &pinned);
        }
        com::ModuleUnlock();
    }

    volatile LONG refs_ = 1;
    const DWORD creator_ = GetCurrentThreadId();
    unique_handle done_;
    volatile bool succeeded_ = false;
};

// This thread's hold on the shared state.
struct AsyncRequestRelease {
    void operator()(CAsyncRequest* state) const { state->Release(); }
};
using AsyncRequestHold = std::unique_ptr<CAsyncRequest, AsyncRequestRelease>;

// A number header of the answer, when it is there.
bool QueryNumber(HINTERNET request, DWORD query, DWORD* value) {
    DWORD size = sizeof *value;
    return HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) != FALSE;
}

bool IsRedirectStatus(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Whether one of the header lines is a Cookie line.
bool CarriesCookie(const std::u16string& headers) {
    static const std::u16string kName = u"cookie:";
    for (size_t start = 0; start < headers.size();) {
        size_t end = headers.find(u'\n', start);
        if (end == std::u16string::npos) end = headers.size();
        size_t i = 0;
        while (i < kName.size() && start + i < end && AsciiLower(headers[start + i]) == kName[i]) ++i;
        if (i == kName.size()) return true;
        start = end + 1;
    }
    return false;
}

bool HasHeader(HINTERNET request, DWORD query) {
    DWORD size = 0;
    return HttpQueryInfoW(request, query, nullptr, &size, nullptr) ||
           GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// The whole body, or nothing: a read that fails, fewer bytes than Content-Length announced, or
// more than the cap allows make the request a failed one. A cut-off permission file must not
// count as one without its AllowAutoLogin line.
bool ReadBody(HINTERNET request, const CHttpOptions& options, CAsyncRequest& state, DWORD deadlineTick,
              std::string* bytes) {
    DWORD announced = 0;
    // With chunked transfer the length header (if any) is not the body's.
    const bool lengthKnown = QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, &announced) &&
                             !HasHeader(request, HTTP_QUERY_TRANSFER_ENCODING);
    if (lengthKnown && announced > options.maxBodyBytes) return false;  // not an answer of ours
    if (lengthKnown) bytes->reserve(announced);
    for (;;) {
        state.read = 0;
        state.Arm();
        if (!state.Outcome(InternetReadFile(request, state.chunk, kReadChunk - 1, &state.read), deadlineTick))
            return false;
        if (state.read == 0) break;
        if (state.read > options.maxBodyBytes - bytes->size()) return false;
        bytes->append(state.chunk, state.read);
    }
    return !lengthKnown || bytes->size() == announced;
}

void SetTimeouts(HINTERNET handle, DWORD ms) {
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
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
    const unique_bstr bstr = MakeBstr(name);
    MIMECSETINFO info{};
    if (!bstr || FAILED(multiLanguage->GetCharsetInfo(bstr.get(), &info))) return kFallbackCodePage;
    return static_cast<int>(info.uiInternetEncoding);
}

std::u16string DecodeResponseBody(const std::string& bytes, int codePage) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 both");
    size_t start = 0;
    size_t length = bytes.size();
    UINT cp = static_cast<UINT>(codePage);
    if (codePage == -1) {
        // No charset, but a byte-order mark: a file saved as "Unicode" or UTF-8 by an editor
        // (its zero bytes would otherwise cut it to nothing that counts, and a cut permission
        // file allows everything).
        if (bytes.size() >= 2 && bytes.compare(0, 2, "\xff\xfe") == 0) {
            std::u16string text;
            text.reserve((bytes.size() - 2) / 2);
            for (size_t i = 2; i + 1 < bytes.size(); i += 2)
                text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                                     static_cast<uint8_t>(bytes[i + 1]) << 8));
            return text;
        }
        const bool utf8 = bytes.compare(0, 3, "\xef\xbb\xbf") == 0;
        cp = utf8 ? CP_UTF8 : CP_THREAD_ACP;
        // Otherwise the body is read as one zero-terminated text, whatever the read sizes.
        const size_t zero = bytes.find('\0');
        if (zero != std::string::npos) length = zero;
        if (utf8) start = 3;  // the mark is not text
    }
    const char* const data = bytes.data() + start;
    length -= start;
    if (length == 0 || length > 0x7fffffff) return {};
    const int n = MultiByteToWideChar(cp, 0, data, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return codePage == -1 ? std::u16string() : ConvertWithMultiLanguage(data, length, cp);
    // Straight into the result: no second copy of a large body.
    std::u16string text(static_cast<size_t>(n), u'\0');
    const int written =
        MultiByteToWideChar(cp, 0, data, static_cast<int>(length), reinterpret_cast<wchar_t*>(&text[0]), n);
    if (written <= 0) return {};
    text.resize(static_cast<size_t>(written));
    return text;
}

std::optional<std::string> ToThreadAnsi(const std::u16string& text) {
    return ToCodePageExact(text, CP_THREAD_ACP);
}

std::u16string SameServerRedirectTarget(const std::u16string& url, const std::u16string& location) {
    if (location.empty() || url.size() > INTERNET_MAX_URL_LENGTH) return {};
    std::vector<wchar_t> buffer(INTERNET_MAX_URL_LENGTH + 1);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!InternetCombineUrlW(Wide(url), Wide(location), buffer.data(), &length, ICU_NO_ENCODE)) return {};
    const std::u16string target = FromWide(buffer.data(), std::min<size_t>(length, buffer.size()));
    CUrlParts from, to;
    if (!SplitUrl(from, url) || !SplitUrl(to, target)) return {};
    if (from.schemeKind < 0 || to.schemeKind != from.schemeKind || to.port != from.port ||
        to.hostName.size() != from.hostName.size())
        return {};
    for (size_t i = 0; i < to.hostName.size(); ++i) {
        if (AsciiLower(to.hostName[i]) != AsciiLower(from.hostName[i])) return {};
    }
    return target;
}

std::u16string HttpRequest(const CHttpOptions& options, const std::u16string& url, const std::u16string& verb,
                           const std::u16string& headers, const std::u16string& body) {
    std::u16string text;
    GuardFaults([&] {
        const DWORD deadlineTick = GetTickCount() + options.deadlineMs;
        const DWORD timeoutMs = std::min(options.timeoutMs, options.deadlineMs);
        AsyncRequestHold state(CAsyncRequest::Create());
        if (!state) return;
        // A body that does not convert exactly is not sent: a best-fit "&" or "=" would post
        // other fields (a password cut in two) than the form escaping meant.
        std::optional<std::string> post = ToThreadAnsi(body);
        if (!post) return;
        state->post = std::move(*post);  // may hold the log-in; wiped with the state
        state->headers = headers;
        // WinINet's own redirects keep the header lines (the cookie) and, for 307 and 308, the
        // body (the log-in) whatever host they lead to: such a request follows only redirects
        // to its own server, itself.
        const bool ownRedirects = !state->post.empty() || CarriesCookie(headers);
        unique_hinternet internet(
            InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
        if (!internet) return;
        if (InternetSetStatusCallbackW(internet.get(), &CAsyncRequest::OnStatus) ==
            INTERNET_INVALID_STATUS_CALLBACK)
            return;
        SetTimeouts(internet.get(), timeoutMs);
        std::u16string target = url;
        std::u16string method = verb;
        for (int hop = 0;; ++hop) {
            CUrlParts parts;
            SplitUrl(parts, target);  // a failed split leaves no host, and the connection fails below
            // Declared in opening order: they close request first, then connection.
            unique_hinternet connection(InternetConnectW(internet.get(), Wide(parts.hostName), parts.port,
                                                         Wide(parts.userName), Wide(parts.password),
                                                         INTERNET_SERVICE_HTTP, 0, 0));
            if (!connection) return;
            const std::u16string objectName = parts.path + parts.extra;
            const DWORD requestFlags =
                HttpRequestFlags(parts.schemeKind == UrlSchemeHttps) |
                (ownRedirects ? static_cast<DWORD>(INTERNET_FLAG_NO_AUTO_REDIRECT) : 0);
            state->AddRef();  // the request handle's, given back by its closing notice
            unique_hinternet request(HttpOpenRequestW(connection.get(), Wide(method), Wide(objectName),
                                                      nullptr, nullptr, nullptr, requestFlags,
                                                      reinterpret_cast<DWORD_PTR>(state.get())));
            if (!request) {
                state->Release();
                return;
            }
            // Set on every level: not every WinINet passes them down from the internet handle.
            SetTimeouts(connection.get(), timeoutMs);
            SetTimeouts(request.get(), timeoutMs);
            state->Arm();
            const BOOL sent = HttpSendRequestW(
                request.get(), state->headers.empty() ? nullptr : Wide(state->headers),
                static_cast<DWORD>(state->headers.size()), state->post.empty() ? nullptr : &state->post[0],
                static_cast<DWORD>(state->post.size()));
            if (!state->Outcome(sent, deadlineTick)) return;
            DWORD status = 0;
            if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, &status)) return;
            if (ownRedirects && IsRedirectStatus(status)) {
                if (hop == kMaxOwnRedirects) return;
                target = SameServerRedirectTarget(target, QueryText(request.get(), HTTP_QUERY_LOCATION));
                if (target.empty()) return;
                // 307 and 308 repeat the request as it was; the others continue with a plain GET.
                if (status != 307 && status != 308) {
                    method = u"GET";
                    Wipe(state->post);
                    state->post.clear();
                }
                continue;
            }
            Wipe(state->post);  // sent: WinINet is done with it
            if (status != 200) return;
            const std::u16string contentType = QueryText(request.get(), HTTP_QUERY_CONTENT_TYPE);
            std::string bytes;
            if (!ReadBody(request.get(), options, *state, deadlineTick, &bytes)) return;
            text = DecodeResponseBody(bytes, CodePageFromContentType(contentType));
            return;
        }
    });
    return text;
}

std::u16string HttpRequest(const std::u16string& url, const std::u16string& verb,
                           const std::u16string& headers, const std::u16string& body) {
    return HttpRequest(CHttpOptions{}, url, verb, headers, body);
}

IHttpClient& DefaultHttpClient() {
    static CWinInetHttpClient client;
    return client;
}

}  // namespace tt
