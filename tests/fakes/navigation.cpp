#include "fakes/navigation.h"

#include <utility>

#include "support/utf.h"

namespace tt::testing {

void FakeBrowser::Navigate(const std::u16string& url, int32_t flags, const std::vector<uint8_t>* postData,
                           const std::u16string& headers) {
    events.push_back("navigate");
    NavigateCall call;
    call.url = url;
    call.flags = flags;
    call.hasPostData = postData != nullptr;
    if (postData) call.postData = *postData;
    call.headers = headers;
    navigations.push_back(std::move(call));  // no stray copy of a posted log-in
}

void FakeBrowser::DropCacheEntry(const std::u16string& url) { events.push_back("drop " + Utf16ToUtf8(url)); }

int FakePrompts::ShowMessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                                unsigned style) {
    boxes.push_back({owner, text, caption, style});
    if (onMessageBox) onMessageBox();
    return answer;
}

int FakePrompts::ShowOptionsDialog(const std::u16string& initialUrl) {
    optionsDialogs.push_back(initialUrl);
    if (onOptionsDialog) onOptionsDialog();
    return optionsResult;
}

}  // namespace tt::testing
