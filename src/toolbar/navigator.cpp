#include "toolbar/navigator.h"

#include <algorithm>

#include "net/text_fields.h"
#include "resources/string_table.h"
#include "settings/auto_login.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "support/utf.h"
#include "support/wipe.h"
#include "text/url_scope.h"

namespace tt {

CToolbarNavigator::CToolbarNavigator(IKeyState& keys, IUserPrompts& prompts)
    : keys_(keys), prompts_(prompts) {}

int CToolbarNavigator::ShowMessage(unsigned textId, unsigned style) {
    return prompts_.ShowMessageBox(ownerWindow, LoadResourceString(textId),
                                   LoadResourceString(kMessageCaption), style);
}

bool CToolbarNavigator::AskForServerUrl() {
    if (ShowMessage(kMessageNoServerUrl, kMbYesNo | kMbIconInformation | kMbDefButton2) == kIdYes) {
        // The toolbar may have been closed while the question was open, taking its browser
        // with it: then nothing follows.
        if (!browser) return false;
        prompts_.ShowOptionsDialog(std::u16string());
        return true;
    }
    // The next groupware page the user visits offers its address again.
    theSettings.Set(u"DisableAutoSetting", u"No");
    theSettings.Save(true);
    return false;
}

void CToolbarNavigator::OpenPage(unsigned stringId, bool newTab) {
    std::u16string base = theSettings.GetServerUrl();
    if (base.empty()) {
        if (!AskForServerUrl()) return;
        // A URL the user has just entered is opened without asking the server first.
        base = theSettings.GetServerUrl();
        if (base.empty()) return;
    } else if (!theProcessState.AllowToolbar()) {
        ShowMessage(kMessageToolbarRefused, kMbOk | kMbIconError);
        return;
    }
    NavigateToUrl(base + LoadResourceString(stringId), newTab);
}

void CToolbarNavigator::OpenRelativePage(const std::u16string& query, bool newTab) {
    const std::u16string base = theSettings.GetServerUrl();
    // Without a base the query alone would be resolved against whatever page is shown.
    if (base.empty()) return;
    if (!query.empty() && query[0] == u'?') {
        NavigateToUrl(base + query, newTab);
    } else {
        NavigateToUrl(base + u"?" + query, newTab);
    }
}

void CToolbarNavigator::NavigateToUrl(const std::u16string& url, bool newTab) {
    std::u16string body;
    WipeOnExit<std::u16string> wipeBody(body);
    std::u16string headers = kNoCacheHeader;
    const bool ctrl = keys_.CtrlHeld();
    // The web search and the portal page never see the user's password or session.
    const std::u16string baseUrl = theSettings.GetServerUrl();
    const bool groupware = IsUnderBaseUrl(url, baseUrl);

    bool cookieStep;
    if (groupware && IsAutoLoginActive() && !theProcessState.LoginSeen(baseUrl)) {
        if (newTab) {
            // A new tab carries the session, not a fresh log-in.
            cookieStep = true;
        } else if (ctrl || theProcessState.TakeLoginTurn(baseUrl)) {
            // With Ctrl the page goes to another tab, which may still need its own log-in,
            // so the turn is not taken.
            const std::u16string tail = u"&" + QueryOfUrl(url);
            body = BuildLoginBody(tail);
            if (body.empty()) body = tail;
            headers += kFormContentTypeHeader;
            cookieStep = ctrl;
        } else {
            // Another window has just sent the log-in: this page opens as a plain one.
            cookieStep = false;
        }
    } else {
        cookieStep = newTab || ctrl;
    }

    if (cookieStep && groupware) {
        const std::u16string cookieLine = CookieHeaderLine(theProcessState.GroupwareCookie(baseUrl));
        if (!cookieLine.empty()) {
            headers += cookieLine;
            Wipe(body);
            newTab = true;
        }
    }
    NavigateBrowser(browser, url, true, newTab, body, headers);
}

void CToolbarNavigator::NavigateBrowser(IBrowserNavigation* target, const std::u16string& url, bool dropCache,
                                        bool newTab, const std::u16string& body,
                                        const std::u16string& headers) {
    if (!target) return;
    int32_t flags = 0;
    if (dropCache) {
        flags = kNavNoReadFromCache | kNavNoWriteToCache;
        target->DropCacheEntry(url);
    }
    if (newTab || keys_.CtrlHeld()) {
        // Replaces the cache bits: the new tab or window loads the page afresh anyway.
        flags = theSettings.TabsAvailable() ? kNavOpenInNewTab : kNavOpenInNewWindow;
    }
    target->Stop();
    if (body.empty()) {
        target->Navigate(url, flags, nullptr, headers);
        return;
    }
    // The form post is the UTF-8 body with its terminating zero, however long it is. Every
    // buffer is sized before it is filled and wiped after the browser took its copy.
    std::string utf8 = Utf16ToUtf8(body);
    WipeOnExit<std::string> wipeUtf8(utf8);
    std::vector<uint8_t> postData;
    WipeOnExit<std::vector<uint8_t>> wipePost(postData);
    postData.reserve(utf8.size() + 1);
    postData.assign(utf8.begin(), utf8.end());
    postData.push_back(0);
    target->Navigate(url, flags, &postData, headers);
}

}  // namespace tt
