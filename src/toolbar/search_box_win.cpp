#include "toolbar/search_box_win.h"

#include <commctrl.h>

#include "support/unique_handle_win.h"
#include "support/own_module_win.h"

namespace tt {
namespace {

constexpr int kSlotButton = 2003;
// Created tall enough for the dropped list, which keeps that height when the box is moved
// onto its slot.
constexpr int kCreationHeight = 240;

LPARAM TextParam(const std::u16string& text) { return reinterpret_cast<LPARAM>(Wide(text)); }

int IndexOrNone(LRESULT r) { return r == CB_ERR ? -1 : static_cast<int>(r); }

}  // namespace

bool CSearchBoxWindow::Create(HWND toolbar, HFONT* toolbarFont) {
    toolbar_ = toolbar;
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_SIZE | TBIF_STYLE;
    info.cx = kSearchBoxWidth;
    info.fsStyle = BTNS_SEP;
    SendMessageW(toolbar, TB_SETBUTTONINFOW, kSlotButton, reinterpret_cast<LPARAM>(&info));

    box_ = CreateWindowExW(0, L"COMBOBOX", nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0,
                           0, kSearchBoxWidth, kCreationHeight, toolbar, nullptr, OwnModule(), nullptr);
    if (!box_) return false;
    if (toolbarFont && !*toolbarFont) {
        LOGFONTW font{};
        font.lfHeight = kSearchBoxFontHeight;
        *toolbarFont = CreateFontIndirectW(&font);
    }
    if (toolbarFont && *toolbarFont)
        SendMessageW(box_, WM_SETFONT, reinterpret_cast<WPARAM>(*toolbarFont), FALSE);
    SendMessageW(box_, CB_LIMITTEXT, kSearchBoxTextLimit, 0);
    FitToSlot();
    return true;
}

void CSearchBoxWindow::FitToSlot() {
    if (!toolbar_ || !box_) return;
    const LRESULT index = SendMessageW(toolbar_, TB_COMMANDTOINDEX, kSlotButton, 0);
    if (index < 0) return;
    RECT rect{};
    if (!SendMessageW(toolbar_, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)))
        return;
    MoveWindow(box_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

bool CSearchBoxWindow::IsPartOfBox(HWND window) const {
    if (!box_ || !window) return false;
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (!SendMessageW(box_, CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info))) return false;
    return window == info.hwndItem || window == info.hwndList;
}

int CSearchBoxWindow::Count() const {
    const LRESULT n = SendMessageW(box_, CB_GETCOUNT, 0, 0);
    return n == CB_ERR ? 0 : static_cast<int>(n);
}

std::u16string CSearchBoxWindow::Item(int index) const {
    const LRESULT length = SendMessageW(box_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length <= 0) return {};
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    const LRESULT got =
        SendMessageW(box_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got == CB_ERR ? 0 : static_cast<size_t>(got));
    return text;
}

void CSearchBoxWindow::Insert(int index, const std::u16string& text) {
    SendMessageW(box_, CB_INSERTSTRING, static_cast<WPARAM>(index), TextParam(text));
}

void CSearchBoxWindow::Append(const std::u16string& text) {
    SendMessageW(box_, CB_ADDSTRING, 0, TextParam(text));
}

void CSearchBoxWindow::Delete(int index) {
    SendMessageW(box_, CB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void CSearchBoxWindow::Reset() { SendMessageW(box_, CB_RESETCONTENT, 0, 0); }

int CSearchBoxWindow::FindExact(int start, const std::u16string& text) const {
    return IndexOrNone(SendMessageW(box_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), TextParam(text)));
}

int CSearchBoxWindow::FindPrefix(int start, const std::u16string& prefix) const {
    return IndexOrNone(SendMessageW(box_, CB_FINDSTRING, static_cast<WPARAM>(start), TextParam(prefix)));
}

std::u16string CSearchBoxWindow::Text() const {
    const int length = GetWindowTextLengthW(box_);
    if (length <= 0) return {};
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    const int got = GetWindowTextW(box_, reinterpret_cast<wchar_t*>(&text[0]), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void CSearchBoxWindow::SetText(const std::u16string& text) { SetWindowTextW(box_, Wide(text)); }

std::optional<EditSelection> CSearchBoxWindow::Selection() const {
    const LRESULT r = SendMessageW(box_, CB_GETEDITSEL, 0, 0);
    if (r == CB_ERR) return std::nullopt;
    return EditSelection{LOWORD(r), HIWORD(r)};
}

void CSearchBoxWindow::SetSelection(EditSelection selection) {
    SendMessageW(box_, CB_SETEDITSEL, 0,
                 MAKELPARAM(static_cast<WORD>(selection.start), static_cast<WORD>(selection.end)));
}

int CSearchBoxWindow::SelectPrefix(const std::u16string& prefix) {
    return IndexOrNone(SendMessageW(box_, CB_SELECTSTRING, static_cast<WPARAM>(-1), TextParam(prefix)));
}

}  // namespace tt
