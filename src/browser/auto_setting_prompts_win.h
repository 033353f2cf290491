#pragma once
#include <windows.h>

#include "browser/auto_setting.h"

namespace tt {

// The questions of the automatic setting as message boxes (caption string 500, Yes and No,
// information icon), owned by the given window (may be none); Yes to the second opens the
// options dialog.
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
