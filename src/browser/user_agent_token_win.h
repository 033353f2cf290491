#pragma once
#include <windows.h>

#include <string>

namespace tt {

// The process's user-agent session option (URL moniker), as 8-bit text.
class IUserAgentSession {
public:
    virtual ~IUserAgentSession() = default;
    // False when the user agent cannot be read.
    virtual bool Read(std::string* userAgent) = 0;
    // Refreshes the option, then sets the new user agent for the rest of the process.
    virtual void Write(const std::string& userAgent) = 0;
};

IUserAgentSession& UrlMonikerUserAgentSession();

// HKEY_LOCAL_MACHINE's key whose values the browser appends to its user agent.
constexpr wchar_t kPostPlatformKeyPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";

// Adds "<tokenBase>/<product version>" to the process user agent, then removes every value
// naming the product's token from the Post Platform key (the key is opened, never created).
void AddUserAgentToken(const std::u16string& tokenBase);
void AddUserAgentToken(const std::u16string& tokenBase, const std::u16string& productVersion,
                       IUserAgentSession& session, HKEY root, const wchar_t* keyPath);

}  // namespace tt
