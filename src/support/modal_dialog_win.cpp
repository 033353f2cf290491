#include "support/modal_dialog_win.h"

#include "support/fault_guard.h"
#include "support/own_module_win.h"

namespace tt {

INT_PTR ModalDialog::RunModal(UINT id, HWND owner) {
    return DialogBoxParamW(OwnModule(), MAKEINTRESOURCEW(id), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModalDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    GuardFaults([&] {
        ModalDialog* self;
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<ModalDialog*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            self->dialog_ = dialog;
        } else {
            self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        }
        if (self) result = self->OnDialogMessage(message, wParam, lParam);
    });
    return result;
}

}  // namespace tt
