#pragma once
// CAboutDlg: dialog 522, the product's icon, name and version.
#include <windows.h>

#include <functional>
#include <string>

namespace tt {

// "Version " and the product version ("Version " alone when the module has none).
std::u16string AboutVersionText(const std::u16string& productVersion);

class CAboutDlg {
  public:
    // Reads a string of the module's version resource; GetModuleVersionString by default.
    using VersionReader = std::function<std::u16string(const std::u16string& name)>;

    CAboutDlg();
    explicit CAboutDlg(VersionReader versionOf);

    // Runs the dialog from this module's resources; returns IDOK or IDCANCEL.
    INT_PTR DoModal(HWND parent);

  private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();

    VersionReader versionOf_;
    HWND dialog_ = nullptr;
};

// Menu item 220: the about box over the thread's active window; the result is not used.
void ShowAboutDialog();

}  // namespace tt
