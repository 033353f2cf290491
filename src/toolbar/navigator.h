#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "text/url_scope.h"
#include "string_ids.h"

namespace tt {

// Navigate2 flags.
constexpr int32_t kNavOpenInNewWindow = 1;
constexpr int32_t kNavNoReadFromCache = 4;
constexpr int32_t kNavNoWriteToCache = 8;
constexpr int32_t kNavOpenInNewTab = 2048;

// Message-box styles and answers, with the platform's numbers.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbDefButton2 = 0x100;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Texts of the navigation's message boxes.

constexpr char16_t kNoCacheHeader[] = u"Pragma: no-cache\n";
constexpr char16_t kFormContentTypeHeader[] = u"Content-Type: application/x-www-form-urlencoded\n";

// The browser window the toolbar belongs to, as far as opening a page needs it.
class IBrowserNavigation {
public:
    virtual ~IBrowserNavigation() = default;
    virtual void Stop() = 0;
    // postData null: no post data. Otherwise the exact bytes to post.
    virtual void Navigate(const std::u16string& url, int32_t flags, const std::vector<uint8_t>* postData,
                          const std::u16string& headers) = 0;
    // Drops the cached copy of url; a missing entry is no error.
    virtual void DropCacheEntry(const std::u16string& url) = 0;
};

// The keyboard's modifier keys at this moment.
class IKeyState {
public:
    virtual ~IKeyState() = default;
    virtual bool CtrlHeld() = 0;
    virtual bool ShiftHeld() = 0;
};

// Modal questions to the user, owned by the toolbar window.
class IUserPrompts {
public:
    virtual ~IUserPrompts() = default;
    // Returns the answer (kIdOk, kIdYes, kIdNo, ...).
    virtual int ShowMessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                               unsigned style) = 0;
    // Runs the settings dialog; returns its result (1 OK, 2 Cancel).
    virtual int ShowOptionsDialog(const std::u16string& initialUrl) = 0;
};

// The one path by which the toolbar opens pages: joins the base URL and a page query,
// decides on the log-in body, the cookie and the target tab, and tells the browser.
// Reads theSettings and theProcessState; one navigator per toolbar window.
class CToolbarNavigator {
public:
    CToolbarNavigator(IKeyState& keys, IUserPrompts& prompts);

    IBrowserNavigation* browser = nullptr;  // not owned; null once the toolbar is closed
    uintptr_t ownerWindow = 0;              // owner of the message boxes

    // Base URL + string stringId, after the server-URL and permission checks.
    void OpenPage(unsigned stringId, bool newTab);
    // Base URL + "?" + query (the "?" is not doubled), without those checks.
    void OpenRelativePage(const std::u16string& query, bool newTab);
    void NavigateToUrl(const std::u16string& url, bool newTab);
    void NavigateBrowser(IBrowserNavigation* target, const std::u16string& url, bool dropCache, bool newTab,
                         const std::u16string& body, const std::u16string& headers);
    // Offers to set the server URL now; true when the user accepted and the dialog ran.
    bool AskForServerUrl();

    IKeyState& Keys() { return keys_; }
    IUserPrompts& Prompts() { return prompts_; }
    // A message box of the toolbar: text string textId, caption string 500.
    int ShowMessage(unsigned textId, unsigned style);

private:
    IKeyState& keys_;
    IUserPrompts& prompts_;
};

}  // namespace tt
