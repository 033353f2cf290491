#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include "string_ids.h"

namespace tt {

class CProcessState;
class CToolbarSettings;
class IDataProtector;
class IKeyStore;

// The options dialog's message after the history is deleted.
// Edit limits of the server URL, login name and password fields.
constexpr int kServerUrlLimit = 2084;
constexpr int kUserNameLimit = 100;
constexpr int kPasswordLimit = 64;

// The values the options dialog edits.
struct OptionsFields {
    std::u16string serverUrl;
    std::u16string userName;
    std::u16string password;
    bool tabsAvailable = false;
    bool autoLogin = false;
    bool allowAutoLogin = true;
    bool newTabInSearchResult = false;
    bool newTabInNewItem = false;
    bool allowToolbar = true;
};

// The settings, permission and log-in state the dialog reads and writes.
class IOptionsBackend {
public:
    virtual ~IOptionsBackend() = default;
    virtual void CheckToolbarPermission(bool force) = 0;
    virtual std::u16string Get(const std::u16string& name) = 0;
    virtual void Set(const std::u16string& name, const std::u16string& text) = 0;
    virtual std::u16string GetServerUrl() = 0;
    virtual void Save(bool paramsOnly) = 0;
    virtual bool TabsAvailable() = 0;
    virtual bool AllowToolbar() = 0;
    virtual bool AllowAutoLogin() = 0;
    virtual std::u16string LoadPassword() = 0;
    virtual void StorePassword(const std::u16string& password) = 0;
    virtual void ClearLoginSeen() = 0;
    virtual void DeleteSearchHistory() = 0;
};

// The backend of the shipped dialog: the settings record, the process-wide permission and
// log-in state, the protected password and the stored history. checkPermission runs the
// server's permission check (force: fetch even when already fetched in this process).
class CSettingsOptionsBackend final : public IOptionsBackend {
public:
    using PermissionCheck = std::function<void(bool force)>;
    CSettingsOptionsBackend(CToolbarSettings& settings, CProcessState& state, IKeyStore& store,
                            IDataProtector& protector, PermissionCheck checkPermission);

    void CheckToolbarPermission(bool force) override;
    std::u16string Get(const std::u16string& name) override;
    void Set(const std::u16string& name, const std::u16string& text) override;
    std::u16string GetServerUrl() override;
    void Save(bool paramsOnly) override;
    bool TabsAvailable() override;
    bool AllowToolbar() override;
    bool AllowAutoLogin() override;
    std::u16string LoadPassword() override;
    void StorePassword(const std::u16string& password) override;
    void ClearLoginSeen() override;
    void DeleteSearchHistory() override;

private:
    CToolbarSettings& settings_;
    CProcessState& state_;
    IKeyStore& store_;
    IDataProtector& protector_;
    PermissionCheck checkPermission_;
};

// What the dialog shows when it opens.
struct OptionsInitPlan {
    bool showToolbarRefused = false;    // label 537
    bool showAutoLoginRefused = false;  // label 538
    bool autoLoginEnabled = true;       // check box 519
    bool tabBoxesEnabled = true;        // check boxes 528 and 529
};

// Reads the fields from the settings (initialUrl, when not empty, presets the URL).
OptionsFields ReadOptionsFields(IOptionsBackend& backend, const std::u16string& initialUrl);
// Stores the fields of a dialog closed with OK, in the order the permission check needs.
void ApplyOptionsFields(IOptionsBackend& backend, const OptionsFields& fields);
// Refused permissions switch automatic log-in off.
OptionsInitPlan PlanOptionsInit(OptionsFields& fields);

// Runs the dialog: the permission check, the fields, the modal loop, and on OK (1) the store.
// runModal edits the fields and returns the dialog's result.
using OptionsModalRunner = std::function<intptr_t(OptionsFields& fields)>;
intptr_t RunOptionsDialog(IOptionsBackend& backend, const std::u16string& initialUrl,
                          const OptionsModalRunner& runModal);

// White space at both ends removed.
std::u16string TrimWhiteSpace(const std::u16string& text);
// The URL field's text as OK stores it: trimmed, then without trailing question marks.
std::u16string NormalizeServerUrlField(const std::u16string& text);
// What an edit of the URL field is replaced with: the server's base URL when the text is a
// longer groupware URL, nothing otherwise (the user's text stays as typed).
using BaseUrlFunction = std::function<std::u16string(const std::u16string&)>;
std::optional<std::u16string> CutServerUrlField(const std::u16string& text, const BaseUrlFunction& baseUrlOf);

// Keeps the URL field's change handler from acting on the change it makes itself. One per
// thread: dialogs of browser windows on different threads do not share it.
bool UrlEditGuard();
void SetUrlEditGuard(bool on);

}  // namespace tt
