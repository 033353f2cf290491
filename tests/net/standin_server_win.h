#pragma once
// The stand-in server (tools/standin_server.py) as the Windows tests see it: started once per
// test program from Wine as a Linux process (or taken from TT_STANDIN_PORT), steered through
// its control API and read back through its request log. Its own traffic goes through a
// minimal WinINet call of its own, not through the client under test.
#include <string>

namespace tt::testing {

struct RawAnswer {
    unsigned long status = 0;
    std::string body;
    std::string setCookie;  // the Set-Cookie header, if any
};

class StandinServer {
public:
    // The running server; starts it on first use. Port 0 when it could not be started.
    static StandinServer& Get();

    unsigned Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::u16string Url(const std::u16string& path) const;

    bool Reset();                             // configuration and log back to the start
    bool Control(const std::string& json);    // merge keys into the configuration
    bool AddRoutes(const std::string& json);  // add scripted answers to those in force
    std::string LastRequest();                // raw bytes of the last logged request
    int RequestCount();                       // requests logged since the last reset
    void Shutdown();

    // A request of the harness itself.
    RawAnswer Send(const std::u16string& verb, const std::u16string& path, const std::string& body = {});

private:
    StandinServer() = default;
    bool Start();
    unsigned port_ = 0;
};

// Pieces of a raw HTTP request.
struct ParsedRequest {
    std::string requestLine;
    std::string head;  // the header lines, each ending in CRLF
    std::string body;
};
ParsedRequest ParseRawRequest(const std::string& raw);

// A JSON string literal for text given as UTF-8.
std::string JsonString(const std::string& utf8);
// Base64 of bytes (for route bodies given as raw bytes).
std::string Base64(const std::string& bytes);

}  // namespace tt::testing
