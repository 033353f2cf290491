#include "net/update_notify_dlg_win.h"

#include <shellapi.h>

#include "resources/resource_ids.h"
#include "resources/string_table.h"
#include "string_ids.h"

namespace tt {
namespace {

void SetItemText(HWND dialog, int id, const std::u16string& text) { SetDlgItemTextW(dialog, id, Wide(text)); }

}  // namespace

CUpdateNotifyDlg::CUpdateNotifyDlg() : windowBrush_(CreateSolidBrush(GetSysColor(COLOR_WINDOW))) {}

INT_PTR CUpdateNotifyDlg::DoModal(HWND owner) { return RunModal(IDD_UPDATE_NOTIFY, owner); }

INT_PTR CUpdateNotifyDlg::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return OnMessage(dialog_, message, wParam, lParam);
}

INT_PTR CUpdateNotifyDlg::OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_UPDATE_MESSAGE)) {
                SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<INT_PTR>(windowBrush_.get());
            }
            return FALSE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (id == IDC_UPDATE_DONT_ASK) {
                OnDontNotifyClicked(dialog);
                return TRUE;
            }
            if (id >= IDOK && id <= IDNO) {
                dontNotifyChecked_ = IsDlgButtonChecked(dialog, IDC_UPDATE_DONT_ASK) == BST_CHECKED;
                EndDialog(dialog, id);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

void CUpdateNotifyDlg::OnInitDialog(HWND dialog) {
    if (topmost_) SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const int question = questionMode_ ? SW_SHOW : SW_HIDE;
    const int notice = questionMode_ ? SW_HIDE : SW_SHOW;
    ShowWindow(GetDlgItem(dialog, IDYES), question);
    ShowWindow(GetDlgItem(dialog, IDNO), question);
    ShowWindow(GetDlgItem(dialog, IDOK), notice);
    // The check box is offered with the question: it is the only way to silence the automatic
    // check for one version. Unticked, "No" means "notify me later".
    ShowWindow(GetDlgItem(dialog, IDC_UPDATE_DONT_ASK), question);
    if (questionMode_) SetItemText(dialog, IDNO, LoadResourceString(kNotifyLaterButton));
    SetItemText(dialog, IDC_UPDATE_MESSAGE, message_);
    SendMessageW(dialog, DM_SETDEFID, questionMode_ ? IDYES : IDOK, 0);
}

void CUpdateNotifyDlg::OnDontNotifyClicked(HWND dialog) {
    const bool ticked = IsDlgButtonChecked(dialog, IDC_UPDATE_DONT_ASK) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDYES), !ticked);
    SetItemText(dialog, IDNO, LoadResourceString(ticked ? kNoButton : kNotifyLaterButton));
}

CDialogUpdateNotifier::CDialogUpdateNotifier(Launcher launcher) : launcher_(std::move(launcher)) {}

int CDialogUpdateNotifier::ShowNotice(const std::u16string& message, bool questionMode,
                                      bool* dontNotifyAgain) {
    CUpdateNotifyDlg dialog;
    dialog.SetMessage(message);
    dialog.SetTopmost(true);
    dialog.SetQuestionMode(questionMode);
    const INT_PTR result = dialog.DoModal(GetActiveWindow());
    if (dontNotifyAgain) *dontNotifyAgain = dialog.DontNotifyChecked();
    return static_cast<int>(result);
}

void CDialogUpdateNotifier::OpenDownloadPage(const std::u16string& address) {
    if (launcher_) launcher_(u"iexplore.exe", address);
}

void ShellOpen(const std::u16string& file, const std::u16string& parameters) {
    ShellExecuteW(nullptr, L"open", Wide(file), Wide(parameters), nullptr, SW_SHOW);
}

}  // namespace tt
