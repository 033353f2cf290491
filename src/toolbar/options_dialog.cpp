#include "toolbar/options_dialog.h"

#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/search_history.h"
#include "settings/toolbar_settings.h"
#include "support/wipe.h"

namespace tt {
namespace {

const std::u16string kYes = u"Yes";
const std::u16string kNo = u"No";

const std::u16string& YesNo(bool value) { return value ? kYes : kNo; }

bool IsWhiteSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

thread_local bool urlEditGuard = false;

const std::u16string kPasswordValue = u"UserPassword";

}  // namespace

CSettingsOptionsBackend::CSettingsOptionsBackend(CToolbarSettings& settings, CProcessState& state,
                                                 IKeyStore& store, IDataProtector& protector,
                                                 PermissionCheck checkPermission)
    : settings_(settings),
      state_(state),
      store_(store),
      protector_(protector),
      checkPermission_(std::move(checkPermission)) {}

void CSettingsOptionsBackend::CheckToolbarPermission(bool force) {
    if (checkPermission_) checkPermission_(force);
}
std::u16string CSettingsOptionsBackend::Get(const std::u16string& name) { return settings_.Get(name); }
void CSettingsOptionsBackend::Set(const std::u16string& name, const std::u16string& text) {
    settings_.Set(name, text);
}
std::u16string CSettingsOptionsBackend::GetServerUrl() { return settings_.GetServerUrl(); }
void CSettingsOptionsBackend::Save(bool paramsOnly) { settings_.Save(paramsOnly); }
bool CSettingsOptionsBackend::TabsAvailable() { return settings_.TabsAvailable(); }
bool CSettingsOptionsBackend::AllowToolbar() { return state_.AllowToolbar(); }
bool CSettingsOptionsBackend::AllowAutoLogin() { return state_.AllowAutoLogin(); }
std::u16string CSettingsOptionsBackend::LoadPassword() {
    return LoadProtectedValue(store_, protector_, kPasswordValue);
}
void CSettingsOptionsBackend::StorePassword(const std::u16string& password) {
    StoreProtectedValue(store_, protector_, kPasswordValue, password, u"");
}
void CSettingsOptionsBackend::ClearLoginSeen() { state_.SetLoginSeen(settings_.GetServerUrl(), false); }
void CSettingsOptionsBackend::DeleteSearchHistory() { DeleteMruList(store_, u"SearchMRU"); }

OptionsFields ReadOptionsFields(IOptionsBackend& backend, const std::u16string& initialUrl) {
    OptionsFields f;
    f.serverUrl = initialUrl.empty() ? backend.GetServerUrl() : initialUrl;
    f.userName = backend.Get(u"Username");
    f.password = backend.LoadPassword();
    f.tabsAvailable = backend.TabsAvailable();
    f.autoLogin = backend.Get(u"AutoLogin") == kYes;
    f.allowAutoLogin = backend.AllowAutoLogin();
    f.newTabInSearchResult = backend.Get(u"NewTabInSearchResult") == kYes;
    f.newTabInNewItem = backend.Get(u"NewTabInNewItem") == kYes;
    f.allowToolbar = backend.AllowToolbar();
    return f;
}

void ApplyOptionsFields(IOptionsBackend& backend, const OptionsFields& f) {
    // Fetched for the server stored before the dialog, so it runs before the new URL is set.
    backend.CheckToolbarPermission(true);
    backend.Set(u"NewTabInSearchResult", YesNo(f.newTabInSearchResult));
    backend.Set(u"NewTabInNewItem", YesNo(f.newTabInNewItem));
    backend.Set(u"AutoLogin", YesNo(f.autoLogin));
    backend.Set(u"Username", f.userName);
    backend.Set(u"TavelleUrl", f.serverUrl);
    backend.Save(true);
    // An empty password is stored too: it replaces the old one.
    backend.StorePassword(f.password);
    // The next log-in page is filled in again with the new values.
    backend.ClearLoginSeen();
}

OptionsInitPlan PlanOptionsInit(OptionsFields& f) {
    OptionsInitPlan plan;
    plan.showToolbarRefused = !f.allowToolbar;
    if (!f.allowAutoLogin || !f.allowToolbar) {
        f.autoLogin = false;
        plan.autoLoginEnabled = false;
        plan.showAutoLoginRefused = true;
    }
    plan.tabBoxesEnabled = f.tabsAvailable;
    return plan;
}

intptr_t RunOptionsDialog(IOptionsBackend& backend, const std::u16string& initialUrl,
                          const OptionsModalRunner& runModal) {
    backend.CheckToolbarPermission(false);
    OptionsFields fields = ReadOptionsFields(backend, initialUrl);
    WipeOnExit<std::u16string> wipePassword(fields.password);
    const intptr_t result = runModal(fields);
    if (result == 1) ApplyOptionsFields(backend, fields);
    return result;
}

std::u16string TrimWhiteSpace(const std::u16string& text) {
    size_t first = 0, last = text.size();
    while (first < last && IsWhiteSpace(text[first])) ++first;
    while (last > first && IsWhiteSpace(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::u16string NormalizeServerUrlField(const std::u16string& text) {
    std::u16string url = TrimWhiteSpace(text);
    while (!url.empty() && url.back() == u'?') url.pop_back();
    return url;
}

std::optional<std::u16string> CutServerUrlField(const std::u16string& text,
                                                const BaseUrlFunction& baseUrlOf) {
    const std::u16string trimmed = TrimWhiteSpace(text);
    std::u16string base = baseUrlOf(trimmed);
    if (base.empty() || base == trimmed || base.size() >= trimmed.size()) return std::nullopt;
    return base;
}

bool UrlEditGuard() { return urlEditGuard; }
void SetUrlEditGuard(bool on) { urlEditGuard = on; }

}  // namespace tt
