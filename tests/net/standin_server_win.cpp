#include "net/standin_server_win.h"

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "support/unique_handle_win.h"
#include "support/utf.h"

#ifndef TT_SOURCE_DIR
#error "TT_SOURCE_DIR names the source tree (the stand-in server lives in its tools folder)"
#endif

namespace tt::testing {
namespace {

std::wstring DosPath(const std::string& unixPath) {
    std::wstring out = L"Z:";
    for (char c : unixPath) out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Shuts the server down when the test program ends, so it does not wait for its idle limit.
class ShutdownAtExit : public ::testing::Environment {
public:
    void TearDown() override {
        if (StandinServer::Get().Port()) StandinServer::Get().Shutdown();
    }
};

}  // namespace

StandinServer& StandinServer::Get() {
    static StandinServer* server = [] {
        auto* s = new StandinServer();
        if (s->Start()) ::testing::AddGlobalTestEnvironment(new ShutdownAtExit);
        return s;
    }();
    return *server;
}

bool StandinServer::Start() {
    if (const char* given = std::getenv("TT_STANDIN_PORT")) {
        port_ = static_cast<unsigned>(std::atoi(given));
        return false;  // not ours to stop
    }
    char name[128];
    std::snprintf(name, sizeof name, "/tmp/tt-standin-%lu-%lu.port", GetCurrentProcessId(), GetTickCount());
    const std::string portFile = name;
    // Wine starts a Linux program given by its path on drive Z: and hands it the arguments
    // as written, so the script and the port file are given as Linux paths.
    // The server the scripts name (TT_STANDIN_SERVER), else the source tree's.
    const char* named = std::getenv("TT_STANDIN_SERVER");
    const std::string script = named && *named ? named : TT_SOURCE_DIR "/tools/standin_server.py";
    std::wstring command = DosPath("/usr/bin/python3") + L" \"" + Widen(script) + L"\" --port-file \"" +
                           Widen(portFile) + L"\" --idle-exit 120 --max-lifetime 1800";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    const std::wstring dosPortFile = DosPath(portFile);
    for (int i = 0; i < 300 && !port_; ++i) {
        std::ifstream in(dosPortFile.c_str());
        unsigned port = 0;
        if (in >> port)
            port_ = port;
        else
            Sleep(50);
    }
    DeleteFileW(dosPortFile.c_str());
    return port_ != 0;
}

std::u16string StandinServer::Url(const std::u16string& path) const {
    std::string prefix = "http://127.0.0.1:" + std::to_string(port_);
    return std::u16string(prefix.begin(), prefix.end()) + path;
}

RawAnswer StandinServer::Send(const std::u16string& verb, const std::u16string& path,
                              const std::string& body) {
    RawAnswer answer;
    unique_hinternet internet(
        InternetOpenW(L"standin-harness", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!internet) return answer;
    unique_hinternet connection(InternetConnectW(internet.get(), L"127.0.0.1",
                                                 static_cast<INTERNET_PORT>(port_), nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return answer;
    unique_hinternet request(
        HttpOpenRequestW(connection.get(), Wide(verb), Wide(path), nullptr, nullptr, nullptr,
                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI, 0));
    if (!request) return answer;
    std::string data = body;
    if (!HttpSendRequestW(request.get(), nullptr, 0, data.empty() ? nullptr : data.data(),
                          static_cast<DWORD>(data.size())))
        return answer;
    DWORD status = 0;
    DWORD size = sizeof status;
    HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    answer.status = status;
    char cookie[1024] = {};
    DWORD cookieSize = sizeof cookie;
    if (HttpQueryInfoA(request.get(), HTTP_QUERY_SET_COOKIE, cookie, &cookieSize, nullptr))
        answer.setCookie.assign(cookie, cookieSize);
    char buffer[8192];
    DWORD read = 0;
    while (InternetReadFile(request.get(), buffer, sizeof buffer, &read) && read)
        answer.body.append(buffer, read);
    return answer;
}

bool StandinServer::Reset() { return Send(u"POST", u"/__reset").status == 200; }

bool StandinServer::Control(const std::string& json) {
    return Send(u"POST", u"/__control", json).status == 200;
}

bool StandinServer::AddRoutes(const std::string& json) {
    return Send(u"POST", u"/__routes", json).status == 200;
}

std::string StandinServer::LastRequest() {
    RawAnswer answer = Send(u"GET", u"/__log/raw?i=-1");
    return answer.status == 200 ? answer.body : std::string();
}

int StandinServer::RequestCount() { return std::atoi(Send(u"GET", u"/__log/count").body.c_str()); }

void StandinServer::Shutdown() {
    Send(u"POST", u"/__shutdown");
    port_ = 0;
}

ParsedRequest ParseRawRequest(const std::string& raw) {
    ParsedRequest parsed;
    const size_t lineEnd = raw.find("\r\n");
    const size_t headEnd = raw.find("\r\n\r\n");
    if (lineEnd == std::string::npos || headEnd == std::string::npos) return parsed;
    parsed.requestLine = raw.substr(0, lineEnd);
    parsed.head = raw.substr(lineEnd + 2, headEnd + 2 - (lineEnd + 2));
    parsed.body = raw.substr(headEnd + 4);
    return parsed;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace tt::testing
