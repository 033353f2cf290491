#pragma once
// The update check: the maker's update server publishes the latest version number and a
// download address; when the toolbar's own version is older, the user is offered the download.
#include <string>

namespace tt {

class CToolbarSettings;
class IHttpClient;

// The update notice (dialog 507) and the browser start, behind an interface so the deciding
// part runs without windows.
class IUpdateNotifier {
public:
    virtual ~IUpdateNotifier() = default;
    // Shows the notice: question mode with Yes and No (and the "do not show until the next
    // version" check box), else OK. Returns the id of the button that closed it (6 Yes, 7 No,
    // 1 OK, 2 Esc); dontNotifyAgain receives the check box's state at close.
    virtual int ShowNotice(const std::u16string& message, bool questionMode, bool* dontNotifyAgain) = 0;
    // Opens the download address in the browser.
    virtual void OpenDownloadPage(const std::u16string& address) = 0;
};

// Button ids of the notice.
constexpr int kNoticeYes = 6;
constexpr int kNoticeNo = 7;
constexpr int kNoticeOk = 1;

// Starts the check on a background thread unless it is automatic and no check is due today.
// settings: theSettings in the product (updateCheckDue, noCheckVersion); versionFileUrl:
// string 503 in the product; currentVersion: the module's ProductVersion. The settings, the
// client and the notifier must outlive the thread. Returns whether a request was started.
bool StartVersionCheck(bool automatic, CToolbarSettings& settings, IHttpClient& http,
                       IUpdateNotifier& notifier, const std::u16string& versionFileUrl,
                       const std::u16string& currentVersion);

// The completion of a check, on the background thread: decides and shows what to say.
void OnVersionFileReceived(const std::u16string& response, bool manual, const std::u16string& currentVersion,
                           CToolbarSettings& settings, IUpdateNotifier& notifier);

// The download address of a version file: its DownloadPath line when that holds an absolute
// http or https address fit for a command line, else string 504 (the maker's home page).
std::u16string DownloadAddress(const std::u16string& response);

// An absolute http or https address with a host and without blanks, quotes or control
// characters, so that it can stand as one command-line argument.
bool IsSafeDownloadAddress(const std::u16string& address);

}  // namespace tt
