#include "browser/server_page.h"

#include "resources/string_table.h"
#include "settings/process_state.h"
#include "support/wipe.h"
#include "string_ids.h"

namespace tt {

ServerPageOutcome HandleServerPage(IServerDocument& document, CProcessState& state,
                                   const std::u16string& baseUrl, const LoginAccount& account) {
    std::u16string mime = document.MimeType();
    if (!mime.empty() && mime.compare(0, 4, u"HTML") != 0) return ServerPageOutcome::NotHtml;

    if (document.Title() != LoadResourceString(kLoginPageTitle)) {
        state.SetLoginSeen(baseUrl, true);
        state.SetGroupwareCookie(baseUrl, document.Cookie());
        return ServerPageOutcome::LoggedIn;
    }

    state.SetGroupwareCookie(baseUrl, std::u16string());
    if (!account.autoLoginActive() || state.LoginSeen(baseUrl)) return ServerPageOutcome::LoginLeftAlone;

    std::unique_ptr<ILoginForm> form =
        document.FindLoginForm(LoadResourceString(kLoginFormName), LoadResourceString(kLoginAccountField),
                               LoadResourceString(kLoginPasswordField));
    if (!form) return ServerPageOutcome::LoginFormMissing;
    std::u16string userName = account.userName();
    std::u16string password = account.password();
    WipeOnExit<std::u16string> wipePassword(password);
    // Another browser window of the process may be on the same page at the same moment: only
    // the one that takes the turn submits.
    if (!state.TakeLoginTurn(baseUrl)) return ServerPageOutcome::LoginLeftAlone;
    form->Fill(userName, password);
    form->Submit();
    return ServerPageOutcome::LoginSubmitted;
}

}  // namespace tt
