#include "toolbar/about_dialog_win.h"

#include "browser/module_version_win.h"
#include "resources/resource_ids.h"
#include "support/fault_guard.h"
#include "support/unique_handle_win.h"
#include "support/own_module_win.h"

namespace tt {

std::u16string AboutVersionText(const std::u16string& productVersion) { return u"Version " + productVersion; }

CAboutDlg::CAboutDlg() : CAboutDlg(GetModuleVersionString) {}

CAboutDlg::CAboutDlg(VersionReader versionOf) : versionOf_(std::move(versionOf)) {}

INT_PTR CAboutDlg::DoModal(HWND parent) {
    return DialogBoxParamW(OwnModule(), MAKEINTRESOURCEW(IDD_ABOUT), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    GuardFaults([&] {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<CAboutDlg*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            self->dialog_ = dialog;
            result = self->OnInitDialog();
            return;
        }
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            const WORD id = LOWORD(wParam);
            if (id == IDOK || id == IDCANCEL) {
                EndDialog(dialog, id);
                result = TRUE;
            }
        }
    });
    return result;
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
