#include "toolbar/navigator_win.h"

#include "toolbar/options_dialog_win.h"

namespace tt {

int CUserPromptsWin::ShowMessageBox(uintptr_t owner, const std::u16string& text,
                                    const std::u16string& caption, unsigned style) {
    return ShowToolbarMessageBox(owner, text, caption, style);
}

int CUserPromptsWin::ShowOptionsDialog(const std::u16string& initialUrl) {
    return static_cast<int>(tt::ShowOptionsDialog(initialUrl));
}

}  // namespace tt
