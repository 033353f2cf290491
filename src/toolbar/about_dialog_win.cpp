#include "toolbar/about_dialog_win.h"

#include "resources/resource_ids.h"
#include "support/module_version_win.h"
#include "support/own_module_win.h"
#include "support/unique_handle_win.h"

namespace tt {

std::u16string AboutVersionText(const std::u16string& productVersion) { return u"Version " + productVersion; }

CAboutDlg::CAboutDlg() : CAboutDlg(GetModuleVersionString) {}

CAboutDlg::CAboutDlg(VersionReader versionOf) : versionOf_(std::move(versionOf)) {}

INT_PTR CAboutDlg::DoModal(HWND parent) { return RunModal(IDD_ABOUT, parent); }

INT_PTR CAboutDlg::OnDialogMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        const WORD id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(dialog_, id);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CAboutDlg::OnInitDialog() {
    const std::u16string text =
        AboutVersionText(versionOf_ ? versionOf_(u"ProductVersion") : std::u16string());
    SetDlgItemTextW(dialog_, IDC_ABOUT_VERSION, Wide(text));
    // Shared icon from the module's resources: nothing to free.
    HICON icon = LoadIconW(OwnModule(), MAKEINTRESOURCEW(IDI_PRODUCT));
    SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    return TRUE;
}

void ShowAboutDialog() {
    CAboutDlg dialog;
    dialog.DoModal(GetActiveWindow());
}

}  // namespace tt
