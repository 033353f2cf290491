#pragma once
#include <windows.h>

#include "browser/auto_setting.h"

namespace tt {

// Opens the toolbar's options dialog. The dialog lives a layer above the helper object: the
// module hands its opener over before any helper object exists (none: Yes opens nothing).
using OptionsOpener = void (*)();
void SetOptionsOpener(OptionsOpener open);

// The questions of the automatic setting as message boxes (caption string 500, Yes and No,
// information icon), owned by the given window (may be none); Yes to the second opens the
// options dialog through the opener.
class MessageBoxAutoSettingPrompts final : public IAutoSettingPrompts {
public:
    explicit MessageBoxAutoSettingPrompts(HWND owner) : owner_(owner) {}
    bool AskStoreServerUrl() override;
    bool AskOpenOptions() override;
    void OpenOptions() override;

private:
    bool Ask(unsigned messageId);
    HWND owner_;
};

}  // namespace tt
