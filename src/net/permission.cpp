#include "net/permission.h"

#include "net/http_client.h"
#include "net/text_fields.h"
#include "resources/string_table.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "support/utf.h"
#include "text/url.h"
#include "string_ids.h"

namespace tt {
namespace {

bool IsNoWord(const std::u16string& value) {
    return value.size() == 2 && AsciiLower(value[0]) == u'n' && AsciiLower(value[1]) == u'o';
}

}  // namespace

PermissionFlags ReadPermissionFlags(const std::u16string& text) {
    return {!IsNoWord(ExtractLineValue(text, u"AllowToolbar")),
            !IsNoWord(ExtractLineValue(text, u"AllowAutoLogin"))};
}

std::u16string PermissionFileUrl(const std::u16string& baseUrl) {
    CUrlParts parts;
    SplitUrl(parts, baseUrl);
    if (parts.hostName.empty()) return {};
    return parts.schemeName + u"://" + parts.hostName + LoadResourceString(kPermissionFilePath);
}

void CheckToolbarPermission(IHttpClient& http, bool force) {
    const std::u16string baseUrl = theSettings.GetServerUrl();
    if (baseUrl.empty()) return;
    if (force || !theProcessState.PermissionFetched(baseUrl)) {
        const std::u16string url = PermissionFileUrl(baseUrl);
        theProcessState.SetPermissionText(
            baseUrl, url.empty() ? std::u16string() : http.Request(url, u"GET", u"", u""));
    }
    const std::u16string text = theProcessState.PermissionText(baseUrl);
    if (text.empty()) return;
    const auto [allowToolbar, allowAutoLogin] = ReadPermissionFlags(text);
    theProcessState.SetAllowToolbar(allowToolbar);
    theProcessState.SetAllowAutoLogin(allowAutoLogin);
    theSettings.Set(u"AllowAutoLogin", allowAutoLogin ? u"Yes" : u"No");
    theSettings.Set(u"AllowToolbar", allowToolbar ? u"Yes" : u"No");
    theSettings.Save(true);
}

void ApplyStoredPermission() {
    if (theProcessState.PermissionFetched(theSettings.GetServerUrl())) return;
    const std::u16string allowToolbar = theSettings.Get(u"AllowToolbar");
    if (!allowToolbar.empty()) theProcessState.SetAllowToolbar(allowToolbar == u"Yes");
    const std::u16string allowAutoLogin = theSettings.Get(u"AllowAutoLogin");
    if (!allowAutoLogin.empty()) theProcessState.SetAllowAutoLogin(allowAutoLogin == u"Yes");
}

}  // namespace tt
