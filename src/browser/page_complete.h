#pragma once
#include <string>

namespace tt {

// What a completed page leads to.
enum class PageCompleteAction {
    None,              // not a page of the configured server
    AutomaticSetting,  // no server is configured and the top page is a groupware page: offer its base URL
    ServerPage,        // the page lies under the configured server URL: log-in handling
};

// serverUrl: the TavelleUrl setting; url: the completed page's address; baseUrl: the server
// base URL of that address (empty when it is not a groupware page); topLevel: the page is the
// window's own, not a frame's. Only the top page's address is offered: a page could hide a
// frame of a server of its own choosing, and the offer does not show the address.
PageCompleteAction DecidePageComplete(const std::u16string& serverUrl, const std::u16string& url,
                                      const std::u16string& baseUrl, bool topLevel);

// True when url is a page of the server stored as serverUrl: the same scheme and host (letter
// case of the stored URL aside: the browser reports both in lower case), the same user name
// and port, and under the stored path (IsUnderBaseUrl). "http://gw" does not vouch for
// "http://gw.example/", "http://gw@example/" or "http://gw:8080/".
bool IsServerPage(const std::u16string& url, const std::u16string& serverUrl);

}  // namespace tt
