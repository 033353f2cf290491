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

std::u16string ReadAndDecode(HINTERNET request, const CHttpOptions& options) {
    const int codePage = CodePageFromContentType(QueryContentType(request));
    // The body is gathered whole and decoded once: a multi-byte character that falls across
    // two reads comes out whole.
    std::string bytes;
    std::vector<char> chunk(kReadChunk);
    for (;;) {
        DWORD read = 0;
        const BOOL ok = InternetReadFile(request, chunk.data(), kReadChunk, &read);
        if (read == 0) break;
        if (bytes.size() + read > options.maxBodyBytes) return {};  // not an answer of ours
        bytes.append(chunk.data(), read);
        if (!ok) break;
    }
    return DecodeResponseBody(bytes, codePage);
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
    std::wstring wide(static_cast<size_t>(n), L'\0');
    const int written = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(length), wide.data(), n);
    if (written <= 0) return {};
    return FromWide(wide.data(), static_cast<size_t>(written));
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
        unique_hinternet internet(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!internet) return;
        SetTimeouts(internet.get(), options.timeoutMs);
        unique_hinternet connection(InternetConnectW(internet.get(), Wide(parts.hostName), parts.port,
                                                     Wide(parts.userName), Wide(parts.password),
                                                     INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) return;
        const std::u16string objectName = parts.path + parts.extra;
        unique_hinternet request(HttpOpenRequestW(connection.get(), Wide(verb), Wide(objectName), nullptr, nullptr,
                                                  nullptr, HttpRequestFlags(parts.schemeKind == UrlSchemeHttps), 0));
        if (!request) return;
        // Set on every level: not every WinINet passes them down from the internet handle.
        SetTimeouts(connection.get(), options.timeoutMs);
        SetTimeouts(request.get(), options.timeoutMs);
        std::string post = ToThreadAnsi(body);
        std::u16string headerBlock = headers;  // HttpSendRequestW takes a non-const pointer
        const BOOL sent = HttpSendRequestW(request.get(), headerBlock.empty() ? nullptr : Wide(headerBlock),
                                           static_cast<DWORD>(headerBlock.size()),
                                           post.empty() ? nullptr : post.data(), static_cast<DWORD>(post.size()));
        if (!sent) return;
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
            status != 200)
            return;
        text = ReadAndDecode(request.get(), options);
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
