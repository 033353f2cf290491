#pragma once
#include <string>

namespace tt {

// What a completed page leads to.
enum class PageCompleteAction {
    None,            // not a page of the configured server
    AutomaticSetting,  // no server is configured and the page is a groupware page: offer its base URL
    ServerPage,      // the page lies under the configured server URL: log-in handling
};

// serverUrl: the TavelleUrl setting; url: the completed page's address; baseUrl: the server
// base URL of that address (empty when it is not a groupware page). The address must begin
// with the server URL exactly, letter case included.
PageCompleteAction DecidePageComplete(const std::u16string& serverUrl, const std::u16string& url,
                                      const std::u16string& baseUrl);

}  // namespace tt
