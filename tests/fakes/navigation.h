#pragma once
// Fakes of the navigator's surroundings: a browser that records what it is told, the
// modifier keys, and the message boxes and settings dialog with scripted answers.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolbar/navigator.h"

namespace tt::testing {

struct NavigateCall {
    std::u16string url;
    int32_t flags = 0;
    bool hasPostData = false;
    std::vector<uint8_t> postData;
    std::u16string headers;

    std::string PostText() const { return std::string(postData.begin(), postData.end()); }
};

// A body as it is posted: the text and its terminating zero.
inline std::vector<uint8_t> PostedBytes(const std::string& text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

class FakeBrowser : public IBrowserNavigation {
public:
    std::vector<std::string> events;  // "drop <url>", "stop", "navigate"
    std::vector<NavigateCall> navigations;

    void Stop() override { events.push_back("stop"); }
    void Navigate(const std::u16string& url, int32_t flags, const std::vector<uint8_t>* postData,
                  const std::u16string& headers) override;
    void DropCacheEntry(const std::u16string& url) override;

    const NavigateCall& Last() const { return navigations.back(); }
};

class FakeKeys : public IKeyState {
public:
    bool ctrl = false;
    bool shift = false;
    bool CtrlHeld() override { return ctrl; }
    bool ShiftHeld() override { return shift; }
};

struct MessageBoxCall {
    uintptr_t owner;
    std::u16string text;
    std::u16string caption;
    unsigned style;
};

class FakePrompts : public IUserPrompts {
public:
    std::vector<MessageBoxCall> boxes;
    int answer = kIdNo;
    std::vector<std::u16string> optionsDialogs;  // the preset URL of each dialog shown
    int optionsResult = 1;
    std::function<void()> onOptionsDialog;  // what the user does in the dialog
    std::function<void()> onMessageBox;     // what happens while a box is open

    int ShowMessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                       unsigned style) override;
    int ShowOptionsDialog(const std::u16string& initialUrl) override;
};

}  // namespace tt::testing
