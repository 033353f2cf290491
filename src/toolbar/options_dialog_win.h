#pragma once
// COptionsDlg: dialog 521, the toolbar's settings, and ShowOptionsDialog, which fills it from
// the settings and stores what the user confirms.
#include <windows.h>

#include <string>

#include "support/modal_dialog_win.h"
#include "toolbar/options_dialog.h"

namespace tt {

class COptionsDlg final : public ModalDialog {
public:
    // backend: the history button deletes through it; baseUrlOf: the server base URL rule.
    COptionsDlg(OptionsFields& fields, IOptionsBackend& backend, BaseUrlFunction baseUrlOf);

    // Runs the dialog from this module's resources; returns 1 (OK, fields updated) or 2.
    INT_PTR DoModal(HWND owner);

private:
    INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog();
    INT_PTR OnCtlColorStatic(HDC dc, HWND control);
    void OnServerUrlChange();
    void OnOK();
    void UpdateLoginControls();
    void OnClearHistory();

    std::u16string ItemText(int id, size_t limit = 0) const;

    OptionsFields& fields_;
    IOptionsBackend& backend_;
    BaseUrlFunction baseUrlOf_;
};

// Runs the whole options dialog against a backend: permission check, fields, dialog and, on
// OK, the store. owner null: the thread's active window.
INT_PTR RunOptionsDialogWin(IOptionsBackend& backend, HWND owner, const std::u16string& initialUrl,
                            const BaseUrlFunction& baseUrlOf);

// The options dialog of the product (modal, owned by the thread's active window); initialUrl,
// when not empty, is offered as the server URL instead of the stored one. IDOK or IDCANCEL.
INT_PTR ShowOptionsDialog(const std::u16string& initialUrl);

}  // namespace tt
