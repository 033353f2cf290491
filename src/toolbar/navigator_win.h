#pragma once
// The navigator's surroundings on Windows: the browser's IWebBrowser2, the keyboard state,
// message boxes and the settings dialog.
#include <windows.h>
#include <exdisp.h>

#include "toolbar/navigator.h"

namespace tt {

// IWebBrowser2::Stop and Navigate2, and the WinINet cache. The browser is not owned: it
// outlives the toolbar.
class CWebBrowserNavigation final : public IBrowserNavigation {
public:
    explicit CWebBrowserNavigation(IWebBrowser2* browser = nullptr) : browser_(browser) {}
    void SetBrowser(IWebBrowser2* browser) { browser_ = browser; }
    IWebBrowser2* Browser() const { return browser_; }

    void Stop() override;
    // Out of memory while building the arguments raises the out-of-memory fault.
    void Navigate(const std::u16string& url, int32_t flags, const std::vector<uint8_t>* postData,
                  const std::u16string& headers) override;
    void DropCacheEntry(const std::u16string& url) override;

private:
    IWebBrowser2* browser_;
};

// GetKeyState of the calling thread's message queue.
class CKeyStateWin final : public IKeyState {
public:
    bool CtrlHeld() override;
    bool ShiftHeld() override;
};

// MessageBoxW owned by a window of the toolbar.
int ShowToolbarMessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                          unsigned style);

// Message boxes, and the settings dialog of this toolbar.
class CUserPromptsWin final : public IUserPrompts {
public:
    int ShowMessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                       unsigned style) override;
    int ShowOptionsDialog(const std::u16string& initialUrl) override;
};

}  // namespace tt
