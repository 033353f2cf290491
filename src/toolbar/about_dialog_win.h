#pragma once
// CAboutDlg: dialog 522, the product's icon, name and version.
#include <windows.h>

#include <functional>
#include <string>

#include "support/modal_dialog_win.h"

namespace tt {

// "Version " and the product version ("Version " alone when the module has none).
std::u16string AboutVersionText(const std::u16string& productVersion);

class CAboutDlg final : public ModalDialog {
public:
    // Reads a string of the module's version resource; GetModuleVersionString by default.
    using VersionReader = std::function<std::u16string(const std::u16string& name)>;

    CAboutDlg();
    explicit CAboutDlg(VersionReader versionOf);

    // Runs the dialog from this module's resources; returns IDOK or IDCANCEL.
    INT_PTR DoModal(HWND parent);

private:
    INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog();

    VersionReader versionOf_;
};

// Menu item 220: the about box over the thread's active window; the result is not used.
void ShowAboutDialog();

}  // namespace tt
