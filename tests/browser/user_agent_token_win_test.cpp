// The token in the process user agent and the machine's Post Platform key: added once, the
// key cleaned of every version of the token, other products' values kept, nothing created.
#include <gtest/gtest.h>

#include <windows.h>
#include <urlmon.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browser/user_agent_token_win.h"
#include "support/module_version_win.h"
#include "support/unique_handle_win.h"

namespace {

class FakeSession final : public tt::IUserAgentSession {
public:
    bool readable = true;
    std::string agent;
    std::vector<std::string> written;
    bool Read(std::string* userAgent) override {
        if (readable) *userAgent = agent;
        return readable;
    }
    void Write(const std::string& userAgent) override {
        written.push_back(userAgent);
        agent = userAgent;
    }
};

// A key of its own under HKCU stands for the machine's key.
const wchar_t kTestKey[] = L"Software\\TavelleTests\\Post Platform";

class UserAgentTokenWin : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TavelleTests"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TavelleTests"); }

    void CreateKeyWith(const std::vector<std::wstring>& names) {
        tt::unique_hkey key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, key.put(), nullptr));
        const wchar_t empty[] = L"";
        for (const std::wstring& n : names)
            RegSetValueExW(key.get(), n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(empty),
                           sizeof empty);
    }
    std::vector<std::wstring> ValueNames() {
        std::vector<std::wstring> names;
        tt::unique_hkey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
            return {L"<no key>"};
        for (DWORD i = 0;; ++i) {
            wchar_t name[300];
            DWORD n = 300;
            if (RegEnumValueW(key.get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            names.push_back(name);
        }
        std::sort(names.begin(), names.end());  // Wine enumerates by name, Windows by creation
        return names;
    }
    void Add(FakeSession& session) {
        tt::AddUserAgentToken(u"TavelleToolbar", u"0.1.1", session, HKEY_CURRENT_USER, kTestKey);
    }
};

TEST_F(UserAgentTokenWin, KeyEndsWithOnlyOtherProductsValues) {
    CreateKeyWith({L"TavelleToolbar/0.1.0", L"SV1", L"TavelleToolbar/0.0.9", L"Other/2.0"});
    FakeSession session;
    session.agent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
    Add(session);
    ASSERT_EQ(1u, session.written.size());
    EXPECT_EQ("Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; TavelleToolbar/0.1.1)", session.agent);
    EXPECT_EQ((std::vector<std::wstring>{L"Other/2.0", L"SV1"}), ValueNames());

    // The next attachment finds the token and writes nothing, but cleans the key again.
    CreateKeyWith({L"TavelleToolbar/0.1.1"});
    Add(session);
    EXPECT_EQ(1u, session.written.size());
    EXPECT_EQ((std::vector<std::wstring>{L"Other/2.0", L"SV1"}), ValueNames());
}

TEST_F(UserAgentTokenWin, MissingKeyIsNotCreatedAndTheAgentStillGainsTheToken) {
    FakeSession session;
    session.agent = "Mozilla/4.0 (compatible; MSIE 8.0; Win32)";
    Add(session);
    EXPECT_EQ("Mozilla/4.0 (compatible; MSIE 8.0; Win32; TavelleToolbar/0.1.1)", session.agent);
    EXPECT_EQ(std::vector<std::wstring>{L"<no key>"}, ValueNames());
}

TEST_F(UserAgentTokenWin, UnreadableOrUnusualAgentIsLeftButTheKeyIsCleaned) {
    CreateKeyWith({L"TavelleToolbar/0.1.0"});
    FakeSession unreadable;
    unreadable.readable = false;
    Add(unreadable);
    EXPECT_TRUE(unreadable.written.empty());
    EXPECT_TRUE(ValueNames().empty());

    FakeSession odd;
    odd.agent = "Mozilla/5.0 (Windows NT 10.0) like Gecko";
    Add(odd);
    EXPECT_TRUE(odd.written.empty());
}

TEST(UserAgentTokenProcess, TheBrowserSessionCarriesTheTokenOnce) {
    tt::AddUserAgentToken(u"TavelleToolbar");
    char buffer[512] = {};
    DWORD length = 0;
    UrlMkGetSessionOption(URLMON_OPTION_USERAGENT, buffer, sizeof buffer, &length, 0);
    std::string agent(buffer);
    const std::string token = "TavelleToolbar/0.1.1";
    size_t at = agent.find(token);
    ASSERT_NE(std::string::npos, at) << agent;
    EXPECT_EQ(std::string::npos, agent.find(token, at + 1));
    EXPECT_EQ(')', agent.back());

    tt::AddUserAgentToken(u"TavelleToolbar");
    char again[512] = {};
    UrlMkGetSessionOption(URLMON_OPTION_USERAGENT, again, sizeof again, &length, 0);
    EXPECT_EQ(agent, std::string(again));
    // The machine key does not exist in a fresh system and is never created.
    tt::unique_hkey key;
    EXPECT_NE(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, tt::kPostPlatformKeyPath, 0, KEY_READ, key.put()));
}

TEST(ModuleVersion, ReadsTheOwnVersionResource) {
    EXPECT_EQ(u"0.1.1", tt::GetModuleVersionString(u"ProductVersion"));
    EXPECT_EQ(u"Tavelle(R) ツールバー for Internet Explorer", tt::GetModuleVersionString(u"FileDescription"));
    EXPECT_EQ(u"", tt::GetModuleVersionString(u"NoSuchName"));
    EXPECT_EQ(u"", tt::GetModuleVersionString(u""));
}

}  // namespace
