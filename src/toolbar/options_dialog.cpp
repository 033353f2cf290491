#include "toolbar/options_dialog.h"

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

}  // namespace

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
