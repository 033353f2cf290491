#include "net/net_entry_win.h"
#include "resources/resource_ids.h"
#include "resources/string_table.h"
#include "settings/key_store.h"
#include "settings/process_state.h"
#include "settings/protected_value.h"
#include "settings/toolbar_settings.h"
#include "support/unique_handle_win.h"
#include "support/wipe.h"
#include "text/url.h"
#include "toolbar/options_dialog_win.h"

namespace tt {

COptionsDlg::COptionsDlg(OptionsFields& fields, IOptionsBackend& backend, BaseUrlFunction baseUrlOf)
    : fields_(fields), backend_(backend), baseUrlOf_(std::move(baseUrlOf)) {}

INT_PTR COptionsDlg::DoModal(HWND owner) { return RunModal(IDD_OPTIONS, owner); }

INT_PTR COptionsDlg::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_CTLCOLORSTATIC:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_COMMAND: {
            const WORD id = LOWORD(wParam);
            const WORD code = HIWORD(wParam);
            if (id == IDC_OPTIONS_SERVER_URL && code == EN_CHANGE) {
                OnServerUrlChange();
                return TRUE;
            }
            if (code != BN_CLICKED) return FALSE;
            switch (id) {
                case IDOK:
                    OnOK();
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog_, IDCANCEL);
                    return TRUE;
                case IDC_OPTIONS_AUTO_LOGIN:
                    UpdateLoginControls();
                    return TRUE;
                case IDC_OPTIONS_CLEAR_HISTORY:
                    OnClearHistory();
                    return TRUE;
                default:
                    return FALSE;
            }
        }
        default:
            return FALSE;
    }
}

BOOL COptionsDlg::OnInitDialog() {
    const OptionsInitPlan plan = PlanOptionsInit(fields_);
    if (plan.showToolbarRefused) ShowWindow(GetDlgItem(dialog_, IDC_OPTIONS_TOOLBAR_REFUSED), SW_SHOW);
    if (plan.showAutoLoginRefused) ShowWindow(GetDlgItem(dialog_, IDC_OPTIONS_AUTO_LOGIN_REFUSED), SW_SHOW);
    EnableWindow(GetDlgItem(dialog_, IDC_OPTIONS_AUTO_LOGIN), plan.autoLoginEnabled);
    // Setting the URL raises EN_CHANGE: a stored page URL is cut to its base at once.
    SetDlgItemTextW(dialog_, IDC_OPTIONS_SERVER_URL, Wide(fields_.serverUrl));
    SetDlgItemTextW(dialog_, IDC_OPTIONS_USER_NAME, Wide(fields_.userName));
    SetDlgItemTextW(dialog_, IDC_OPTIONS_PASSWORD, Wide(fields_.password));
    CheckDlgButton(dialog_, IDC_OPTIONS_AUTO_LOGIN, fields_.autoLogin ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog_, IDC_OPTIONS_NEW_TAB_SEARCH,
                   fields_.newTabInSearchResult ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog_, IDC_OPTIONS_NEW_TAB_ITEM, fields_.newTabInNewItem ? BST_CHECKED : BST_UNCHECKED);
    if (!plan.tabBoxesEnabled) {
        EnableWindow(GetDlgItem(dialog_, IDC_OPTIONS_NEW_TAB_SEARCH), FALSE);
        EnableWindow(GetDlgItem(dialog_, IDC_OPTIONS_NEW_TAB_ITEM), FALSE);
    }
    SendDlgItemMessageW(dialog_, IDC_OPTIONS_SERVER_URL, EM_LIMITTEXT, kServerUrlLimit, 0);
    SendDlgItemMessageW(dialog_, IDC_OPTIONS_USER_NAME, EM_LIMITTEXT, kUserNameLimit, 0);
    SendDlgItemMessageW(dialog_, IDC_OPTIONS_PASSWORD, EM_LIMITTEXT, kPasswordLimit, 0);
    UpdateLoginControls();
    return TRUE;
}

INT_PTR COptionsDlg::OnCtlColorStatic(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id != IDC_OPTIONS_TOOLBAR_REFUSED && id != IDC_OPTIONS_AUTO_LOGIN_REFUSED) return FALSE;
    SetTextColor(dc, RGB(127, 0, 0));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

void COptionsDlg::OnServerUrlChange() {
    if (UrlEditGuard()) return;
    const std::optional<std::u16string> base =
        CutServerUrlField(ItemText(IDC_OPTIONS_SERVER_URL, kServerUrlLimit), baseUrlOf_);
    if (!base) return;
    SetUrlEditGuard(true);
    SetDlgItemTextW(dialog_, IDC_OPTIONS_SERVER_URL, Wide(*base));
    const auto end = static_cast<WPARAM>(base->size());
    SendDlgItemMessageW(dialog_, IDC_OPTIONS_SERVER_URL, EM_SETSEL, end, static_cast<LPARAM>(end));
    SetUrlEditGuard(false);
}

void COptionsDlg::OnOK() {
    fields_.serverUrl = NormalizeServerUrlField(ItemText(IDC_OPTIONS_SERVER_URL));
    fields_.userName = ItemText(IDC_OPTIONS_USER_NAME);
    Wipe(fields_.password);  // the assignment frees the old buffer
    fields_.password = ItemText(IDC_OPTIONS_PASSWORD);
    fields_.autoLogin = IsDlgButtonChecked(dialog_, IDC_OPTIONS_AUTO_LOGIN) == BST_CHECKED;
    fields_.newTabInSearchResult = IsDlgButtonChecked(dialog_, IDC_OPTIONS_NEW_TAB_SEARCH) == BST_CHECKED;
    fields_.newTabInNewItem = IsDlgButtonChecked(dialog_, IDC_OPTIONS_NEW_TAB_ITEM) == BST_CHECKED;
    EndDialog(dialog_, IDOK);
}

void COptionsDlg::UpdateLoginControls() {
    const BOOL on = SendDlgItemMessageW(dialog_, IDC_OPTIONS_AUTO_LOGIN, BM_GETCHECK, 0, 0) != 0;
    for (int id : {IDC_OPTIONS_USER_NAME_LABEL, IDC_OPTIONS_PASSWORD_LABEL, IDC_OPTIONS_USER_NAME,
                   IDC_OPTIONS_PASSWORD}) {
        EnableWindow(GetDlgItem(dialog_, id), on);
    }
}

void COptionsDlg::OnClearHistory() {
    // Immediate: Cancel does not bring the history back.
    backend_.DeleteSearchHistory();
    MessageBoxW(dialog_, Wide(LoadResourceString(kHistoryDeletedMessage)), L"", MB_OK);
}

std::u16string COptionsDlg::ItemText(int id, size_t limit) const {
    HWND item = GetDlgItem(dialog_, id);
    if (!item) return {};
    size_t length = static_cast<size_t>(GetWindowTextLengthW(item));
    if (limit && length > limit) length = limit;
    std::u16string text(length + 1, u'\0');
    const int got = GetWindowTextW(item, reinterpret_cast<wchar_t*>(&text[0]), static_cast<int>(length + 1));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

INT_PTR RunOptionsDialogWin(IOptionsBackend& backend, HWND owner, const std::u16string& initialUrl,
                            const BaseUrlFunction& baseUrlOf) {
    if (!owner) owner = GetActiveWindow();
    return RunOptionsDialog(backend, initialUrl, [&](OptionsFields& fields) -> intptr_t {
        COptionsDlg dialog(fields, backend, baseUrlOf);
        return dialog.DoModal(owner);
    });
}

}  // namespace tt

namespace tt {

INT_PTR ShowOptionsDialog(const std::u16string& initialUrl) {
    CSettingsOptionsBackend backend(theSettings, theProcessState, DefaultKeyStore(), DefaultProtector(),
                                    [](bool force) { CheckToolbarPermission(force); });
    return RunOptionsDialogWin(backend, nullptr, initialUrl, GetServerBaseUrl);
}

}  // namespace tt
