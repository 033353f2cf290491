#pragma once
// A settings backend for the options dialog that records what it is asked, in order.
#include <map>
#include <string>
#include <vector>

#include "support/utf.h"
#include "toolbar/options_dialog.h"

namespace tt::testing {

class FakeOptionsBackend : public IOptionsBackend {
public:
    std::map<std::u16string, std::u16string> params;
    std::u16string storedPassword;
    bool passwordStored = false;
    bool tabs = true;
    bool allowToolbar = true;
    bool allowAutoLogin = true;
    bool loginSeen = true;
    int historyDeletions = 0;
    std::vector<std::string> calls;

    void CheckToolbarPermission(bool force) override {
        calls.push_back(force ? "check(true)" : "check(false)");
    }
    std::u16string Get(const std::u16string& name) override { return params[name]; }
    void Set(const std::u16string& name, const std::u16string& text) override {
        calls.push_back("set " + Utf16ToUtf8(name) + "=" + Utf16ToUtf8(text));
        params[name] = text;
    }
    std::u16string GetServerUrl() override { return params[u"TavelleUrl"]; }
    void Save(bool paramsOnly) override { calls.push_back(paramsOnly ? "save(true)" : "save(false)"); }
    bool TabsAvailable() override { return tabs; }
    bool AllowToolbar() override { return allowToolbar; }
    bool AllowAutoLogin() override { return allowAutoLogin; }
    std::u16string LoadPassword() override { return storedPassword; }
    void StorePassword(const std::u16string& password) override {
        calls.push_back("store password");
        storedPassword = password;
        passwordStored = true;
    }
    void ClearLoginSeen() override {
        calls.push_back("clear loginSeen");
        loginSeen = false;
    }
    void DeleteSearchHistory() override {
        calls.push_back("delete history");
        ++historyDeletions;
    }
};

}  // namespace tt::testing
