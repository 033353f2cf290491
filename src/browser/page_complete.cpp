#include "browser/page_complete.h"

#include "support/utf.h"
#include "text/url_scope.h"

namespace tt {

bool IsServerPage(const std::u16string& url, const std::u16string& serverUrl) {
    const size_t authorityEnd = AuthorityEnd(serverUrl);
    if (authorityEnd == std::u16string::npos) return false;
    // The stored URL is what the user typed; the browser reports scheme and host in lower case.
    std::u16string base = serverUrl;
    const size_t hostStart = base.find(u"://") + 3;
    const size_t at = base.rfind(u'@', authorityEnd - 1);
    const size_t hostFrom = at != std::u16string::npos && at >= hostStart ? at + 1 : hostStart;
    for (size_t i = 0; i < authorityEnd; ++i)
        if (i < hostStart - 3 || i >= hostFrom) base[i] = AsciiLower(base[i]);
    return IsUnderBaseUrl(url, base);
}

PageCompleteAction DecidePageComplete(const std::u16string& serverUrl, const std::u16string& url,
                                      const std::u16string& baseUrl, bool topLevel) {
    if (serverUrl.empty())
        return baseUrl.empty() || !topLevel ? PageCompleteAction::None : PageCompleteAction::AutomaticSetting;
    return IsServerPage(url, serverUrl) ? PageCompleteAction::ServerPage : PageCompleteAction::None;
}

}  // namespace tt
