#pragma once
// A modal dialog from this module's resources. Its procedure stores the object in the dialog
// and hands every message from WM_INITDIALOG on to OnDialogMessage under the fault guard, so
// nothing leaves the procedure.
#include <windows.h>

namespace tt {

class ModalDialog {
public:
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

protected:
    ModalDialog() = default;
    virtual ~ModalDialog() = default;

    // Runs dialog id owned by owner; the value given to EndDialog, or -1 when it could not be made.
    INT_PTR RunModal(UINT id, HWND owner);
    // The dialog procedure's answer; dialog_ is set by then.
    virtual INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    HWND dialog_ = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace tt
