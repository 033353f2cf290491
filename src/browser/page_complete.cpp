#include "browser/page_complete.h"

namespace tt {

PageCompleteAction DecidePageComplete(const std::u16string& serverUrl, const std::u16string& url,
                                      const std::u16string& baseUrl) {
    if (serverUrl.empty()) return baseUrl.empty() ? PageCompleteAction::None : PageCompleteAction::AutomaticSetting;
    if (url.compare(0, serverUrl.size(), serverUrl) != 0) return PageCompleteAction::None;
    return PageCompleteAction::ServerPage;
}

}  // namespace tt
