#include "toolbar/auto_login.h"

#include "net/text_fields.h"
#include "resources/string_table.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"

namespace tt {

bool IsAutoLoginActive() { return theProcessState.AllowAutoLogin() && theSettings.GetBool(u"AutoLogin"); }

std::u16string EscapeFormReserved(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
            case u'&': out += u"%26"; break;
            case u'=': out += u"%3D"; break;
            case u'+': out += u"%2B"; break;
            case u'%': out += u"%25"; break;
            default: out += c; break;
        }
    }
    return out;
}

std::u16string FormatLoginBody(const std::u16string& userName, const std::u16string& password) {
    return FillTemplate(LoadResourceString(108), {EscapeFormReserved(userName), EscapeFormReserved(password)});
}

std::u16string BuildLoginBody() {
    if (!IsAutoLoginActive()) return {};
    const std::u16string userName = theSettings.Get(u"Username");
    if (userName.empty()) return {};
    return FormatLoginBody(userName, LoadProtectedValue(u"UserPassword"));
}

}  // namespace tt
