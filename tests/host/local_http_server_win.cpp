#include "host/local_http_server_win.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>

namespace tthost {
namespace {

std::string LowerAscii(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

}  // namespace

std::string ServedRequest::Header(const std::string& name) const {
    for (const auto& h : headers) {
        if (LowerAscii(h.first) == LowerAscii(name)) return h.second;
    }
    return {};
}

LocalHttpServer::LocalHttpServer() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) return;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int len = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = tt::JoinableThread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);  // ends accept()
        listener_ = INVALID_SOCKET;
    }
    thread_.Join();
    WSACleanup();
}

std::wstring LocalHttpServer::Url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port_) + path;
}

void LocalHttpServer::Route(const std::string& path, Handler handler) {
    std::lock_guard<tt::CriticalSection> g(lock_);
    routes_[path] = std::move(handler);
}

void LocalHttpServer::Page(const std::string& path, const std::string& contentType, const std::string& body,
                           std::vector<std::pair<std::string, std::string>> headers) {
    headers.insert(headers.begin(), {"Content-Type", contentType});
    Route(path, [body, headers](const ServedRequest&) {
        ServedAnswer a;
        a.headers = headers;
        a.body = body;
        return a;
    });
}

std::vector<ServedRequest> LocalHttpServer::Requests() const {
    std::lock_guard<tt::CriticalSection> g(lock_);
    return requests_;
}

void LocalHttpServer::ClearRequests() {
    std::lock_guard<tt::CriticalSection> g(lock_);
    requests_.clear();
}

void LocalHttpServer::Serve() {
    for (;;) {
        SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET) return;
        HandleConnection(s);
        closesocket(s);
    }
}

void LocalHttpServer::HandleConnection(SOCKET s) {
    std::string data;
    char buf[4096];
    size_t headerEnd = std::string::npos;
    while (headerEnd == std::string::npos) {
        const int n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) return;
        data.append(buf, n);
        headerEnd = data.find("\r\n\r\n");
    }
    ServedRequest request;
    const std::string head = data.substr(0, headerEnd);
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const size_t sp1 = requestLine.find(' ');
    const size_t sp2 = requestLine.find(' ', sp1 + 1);
    request.method = requestLine.substr(0, sp1);
    request.target =
        requestLine.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) end = head.size();
        const std::string line = head.substr(pos, end - pos);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value[0] == ' ') value.erase(0, 1);
            request.headers.push_back({line.substr(0, colon), value});
        }
        pos = end + 2;
    }
    const size_t length = static_cast<size_t>(atoi(request.Header("Content-Length").c_str()));
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length) {
        const int n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.body.append(buf, n);
    }
    Handler handler;
    {
        std::lock_guard<tt::CriticalSection> g(lock_);
        requests_.push_back(request);
        auto it = routes_.find(request.target.substr(0, request.target.find('?')));
        if (it != routes_.end()) handler = it->second;
    }
    ServedAnswer answer;
    if (handler) {
        answer = handler(request);
    } else {
        answer.status = 404;
        answer.headers.push_back({"Content-Type", "text/html"});
        answer.body = "<html><head><title>Not Found</title></head><body>not found</body></html>";
    }
    std::string out = "HTTP/1.0 " + std::to_string(answer.status) + " " + Reason(answer.status) + "\r\n";
    for (const auto& h : answer.headers) out += h.first + ": " + h.second + "\r\n";
    out += "Content-Length: " + std::to_string(answer.body.size()) + "\r\nConnection: close\r\n\r\n" +
           answer.body;
    size_t sent = 0;
    while (sent < out.size()) {
        const int n = send(s, out.data() + sent, static_cast<int>(out.size() - sent), 0);
        if (n <= 0) break;
        sent += n;
    }
    shutdown(s, SD_SEND);
}

}  // namespace tthost
