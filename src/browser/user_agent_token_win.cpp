#include "browser/user_agent_token_win.h"

#include <urlmon.h>

#include <vector>

#include "browser/user_agent_token.h"
#include "support/code_page_win.h"
#include "support/module_version_win.h"
#include "support/unique_handle_win.h"

namespace tt {
namespace {

constexpr DWORD kUserAgentBufferSize = 0x103;
constexpr DWORD kValueNameBufferSize = 0x104;

class UrlMonikerSession final : public IUserAgentSession {
public:
    bool Read(std::string* userAgent) override {
        char buffer[kUserAgentBufferSize] = {};
        DWORD length = 0;
        // The call reports E_OUTOFMEMORY even when it filled the buffer: the length and the
        // text tell whether it did.
        UrlMkGetSessionOption(URLMON_OPTION_USERAGENT, buffer, sizeof buffer, &length, 0);
        if (length == 0 || length > sizeof buffer) return false;
        size_t n = 0;
        while (n < length && buffer[n] != '\0') ++n;
        if (n == 0 || n == sizeof buffer) return false;
        userAgent->assign(buffer, n);
        return true;
    }
    void Write(const std::string& userAgent) override {
        UrlMkSetSessionOption(URLMON_OPTION_USERAGENT_REFRESH, nullptr, 0, 0);
        UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, const_cast<char*>(userAgent.c_str()),
                              static_cast<DWORD>(userAgent.size()), 0);
    }
};

void AddToProcessUserAgent(const std::string& token, IUserAgentSession& session, HKEY root,
                           const wchar_t* keyPath) {
    std::string userAgent;
    if (!session.Read(&userAgent)) return;
    std::optional<std::string> updated = AddTokenToUserAgent(userAgent, token);
    if (!updated) return;
    unique_hkey key;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS) {
        std::u16string name = FromCodePage(token, CP_ACP);
        const wchar_t empty[] = L"";
        RegSetValueExW(key.get(), Wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(empty), sizeof empty);
        RegFlushKey(key.get());
    }
    session.Write(*updated);
}

void RemoveTokenValues(const std::u16string& tokenBase, HKEY root, const wchar_t* keyPath) {
    unique_hkey key;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
    DWORD count = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        count = 0;
    }
    // From the last index down, so that deleting does not move the values still to be seen.
    for (DWORD index = count; index-- > 0;) {
        wchar_t name[kValueNameBufferSize];
        DWORD nameLength = kValueNameBufferSize;
        if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (IsProductTokenValueName(FromWide(name, nameLength), tokenBase)) RegDeleteValueW(key.get(), name);
    }
    RegFlushKey(key.get());
}

}  // namespace

IUserAgentSession& UrlMonikerUserAgentSession() {
    static UrlMonikerSession session;
    return session;
}

void AddUserAgentToken(const std::u16string& tokenBase) {
    AddUserAgentToken(tokenBase, GetModuleVersionString(u"ProductVersion"), UrlMonikerUserAgentSession(),
                      HKEY_LOCAL_MACHINE, kPostPlatformKeyPath);
}

void AddUserAgentToken(const std::u16string& tokenBase, const std::u16string& productVersion,
                       IUserAgentSession& session, HKEY root, const wchar_t* keyPath) {
    std::string token =
        BuildUserAgentToken(ToCodePage(tokenBase, CP_ACP), ToCodePage(productVersion, CP_ACP));
    AddToProcessUserAgent(token, session, root, keyPath);
    RemoveTokenValues(tokenBase, root, keyPath);
}

}  // namespace tt
