#pragma once
// What the helper object does with a completed page of the configured groupware server: on
// the log-in page it may fill in and submit the log-in form; on any other page it notes that
// the user is logged in and keeps the page's cookie.
#include <functional>
#include <memory>
#include <string>

namespace tt {

class CProcessState;

// The log-in form of a page, found with both of its fields.
class ILoginForm {
public:
    virtual ~ILoginForm() = default;
    // Sets the text of the account and the password field.
    virtual void Fill(const std::u16string& account, const std::u16string& password) = 0;
    virtual void Submit() = 0;
};

// The completed document, as far as the log-in handling reads it. Reads that fail give the
// empty text.
class IServerDocument {
public:
    virtual ~IServerDocument() = default;
    virtual std::u16string MimeType() = 0;
    virtual std::u16string Title() = 0;
    virtual std::u16string Cookie() = 0;
    // The first form of that name holding both named fields; null when the form or either
    // field is missing.
    virtual std::unique_ptr<ILoginForm> FindLoginForm(const std::u16string& formName,
                                                      const std::u16string& accountField,
                                                      const std::u16string& passwordField) = 0;
};

// Where the form log-in takes the gate and the account from (read only when needed).
struct LoginAccount {
    std::function<bool()> autoLoginActive;
    std::function<std::u16string()> userName;
    std::function<std::u16string()> password;
};

enum class ServerPageOutcome {
    NotHtml,           // a picture or a text file shown by the browser: nothing changes
    LoginSubmitted,    // the log-in page, filled in and submitted
    LoginLeftAlone,    // the log-in page, automatic log-in off or a log-in already sent or seen
    LoginFormMissing,  // the log-in page without its form or fields: nothing submitted
    LoggedIn,          // any other page: loginSeen set, its cookie kept
};

// The log-in page is known by its title (string 109), its form and fields by strings 110 to
// 112. A log-in is submitted at most once until another page of the server completes or the
// settings are applied again (both go through loginSeen): a server that answers a wrong
// password with the log-in page again must not be sent the same password again and again.
// baseUrl: the stored server URL the page lies under; what the page leaves is bound to it.
ServerPageOutcome HandleServerPage(IServerDocument& document, CProcessState& state,
                                   const std::u16string& baseUrl, const LoginAccount& account);

}  // namespace tt
