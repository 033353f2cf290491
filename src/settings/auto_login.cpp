#include "settings/auto_login.h"

#include "resources/string_table.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"
#include "support/wipe.h"
#include "string_ids.h"

namespace tt {
namespace {

void AppendFormEscaped(std::u16string& out, const std::u16string& text) {
    for (char16_t c : text) {
        switch (c) {
            case u'&':
                out += u"%26";
                break;
            case u'=':
                out += u"%3D";
                break;
            case u'+':
                out += u"%2B";
                break;
            case u'%':
                out += u"%25";
                break;
            default:
                out += c;
                break;
        }
    }
}

}  // namespace

bool IsAutoLoginActive() { return theProcessState.AllowAutoLogin() && theSettings.GetBool(u"AutoLogin"); }

std::u16string EscapeFormReserved(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    AppendFormEscaped(out, text);
    return out;
}

std::u16string FormatLoginBody(const std::u16string& userName, const std::u16string& password,
                               const std::u16string& tail) {
    const std::u16string form = LoadResourceString(kLoginBodyTemplate);
    std::u16string body;
    // Room for the longest escaping up front: a buffer that grew would leave a copy of the
    // password behind in the memory it gave back.
    body.reserve(form.size() + 3 * (userName.size() + password.size()) + tail.size());
    // The two "%s" of the template, in order; the inserted texts are not scanned again.
    const std::u16string* values[] = {&userName, &password};
    size_t next = 0;
    for (size_t i = 0; i < form.size(); ++i) {
        if (next < 2 && form[i] == u'%' && i + 1 < form.size() && form[i + 1] == u's') {
            AppendFormEscaped(body, *values[next++]);
            ++i;
        } else {
            body += form[i];
        }
    }
    body += tail;
    return body;
}

std::u16string BuildLoginBody(const std::u16string& tail) {
    if (!IsAutoLoginActive()) return {};
    const std::u16string userName = theSettings.Get(u"Username");
    if (userName.empty()) return {};
    std::u16string password = LoadProtectedValue(u"UserPassword");
    WipeOnExit<std::u16string> wipe(password);
    return FormatLoginBody(userName, password, tail);
}

}  // namespace tt
