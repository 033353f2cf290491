#pragma once
// A small HTTP/1.0 server on 127.0.0.1 inside the test program, for tests that need exact
// control over answers (status, headers, cookies, redirects) and want to see exactly what was
// sent. One connection at a time; every request is recorded.
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/threads.h"

namespace tthost {

struct ServedRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string Header(const std::string& name) const;  // case-insensitive; empty when absent
};

struct ServedAnswer {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;  // Content-Length is added
    std::string body;
};

class LocalHttpServer {
public:
    using Handler = std::function<ServedAnswer(const ServedRequest&)>;
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    bool Started() const { return port_ != 0; }
    int Port() const { return port_; }
    std::wstring Url(const std::wstring& path) const;  // http://127.0.0.1:<port><path>

    // Answers requests whose path (without the query) equals path; others get 404.
    void Route(const std::string& path, Handler handler);
    // A fixed page.
    void Page(const std::string& path, const std::string& contentType, const std::string& body,
              std::vector<std::pair<std::string, std::string>> headers = {});

    std::vector<ServedRequest> Requests() const;
    void ClearRequests();

private:
    void Serve();
    void HandleConnection(SOCKET s);

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    tt::JoinableThread thread_;
    mutable tt::CriticalSection lock_;
    std::map<std::string, Handler> routes_;
    std::vector<ServedRequest> requests_;
};

}  // namespace tthost
