#include "toolbar/tavelle_toolbar_ctrl_win.h"

#include <olectl.h>

#include <cwchar>

#include "net/permission.h"
#include "net/server_check.h"
#include "resources/string_table.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "support/own_module_win.h"
#include "support/utf.h"
#include "support/unique_handle_win.h"
#include "toolbar/digest_menu.h"

namespace tt {
namespace {

IToolbarServices* g_services = nullptr;

}  // namespace

void SetToolbarServices(IToolbarServices* services) { g_services = services; }

IToolbarServices& CurrentToolbarServices() { return g_services ? *g_services : PlatformToolbarServices(); }

TavelleToolbarCtrl::TavelleToolbarCtrl() : TavelleToolbarCtrl(CurrentToolbarServices()) {}

TavelleToolbarCtrl::TavelleToolbarCtrl(IToolbarServices& services)
    : services_(services), navigator_(services.Keys(), services.Prompts()) {}

TavelleToolbarCtrl::~TavelleToolbarCtrl() {
    digestRecords_.clear();
    // The window goes before the image lists it shows.
    if (Handle() && IsWindow(Handle())) DestroyWindow(Handle());
}

// ---- creation

void TavelleToolbarCtrl::SetTextButton(unsigned id, const std::u16string& text) {
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT | TBIF_STYLE | TBIF_IMAGE | TBIF_STATE;
    info.pszText = const_cast<wchar_t*>(Wide(text));
    info.fsStyle = BTNS_SHOWTEXT | BTNS_AUTOSIZE;
    info.iImage = I_IMAGENONE;
    info.fsState = TBSTATE_ENABLED;
    SendMessageW(Handle(), TB_SETBUTTONINFOW, id, reinterpret_cast<LPARAM>(&info));
}

void TavelleToolbarCtrl::InstallLogo() {
    const int width = static_cast<int>(std::wcstol(Wide(LoadResourceString(kLogoWidthString)), nullptr, 10));
    logoList_.reset(ImageList_LoadImageW(OwnModule(), MAKEINTRESOURCEW(kLogoBitmap), width, 1, CLR_DEFAULT,
                                         IMAGE_BITMAP, LR_CREATEDIBSECTION));
    SendMessageW(Handle(), TB_SETIMAGELIST, 1, reinterpret_cast<LPARAM>(logoList_.get()));
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_IMAGE | TBIF_SIZE;
    info.iImage = kLogoPicture;
    info.cx = static_cast<WORD>(width + kLogoButtonExtraWidth);
    SendMessageW(Handle(), TB_SETBUTTONINFOW, kLogoButton, reinterpret_cast<LPARAM>(&info));
    SendMessageW(Handle(), TB_AUTOSIZE, 0, 0);
}

void TavelleToolbarCtrl::InstallAlternateImages() {
    int width = 0, height = 0;
    HIMAGELIST pictures = ImageList();
    if (pictures) ImageList_GetIconSize(pictures, &width, &height);
    const int count = pictures ? ImageList_GetImageCount(pictures) : 0;
    alternateList_.reset(ImageList_LoadImageW(OwnModule(), MAKEINTRESOURCEW(kAlternateBitmap), width, count,
                                              CLR_DEFAULT, IMAGE_BITMAP, LR_CREATEDIBSECTION));
    SendMessageW(Handle(), TB_SETIMAGELIST, 2, reinterpret_cast<LPARAM>(alternateList_.get()));
}

void TavelleToolbarCtrl::OnToolbarCreated() {
    SetTextButton(kNewItemMenuButton, LoadResourceString(kNewItemMenuButton));
    SetTextButton(kListMenuButton, LoadResourceString(kListMenuButton));
    InstallLogo();
    InstallAlternateImages();

    browser_.SetBrowser(Browser());
    navigator_.browser = &browser_;
    navigator_.ownerWindow = reinterpret_cast<uintptr_t>(Handle());

    // A stored answer of the server counts until the server is asked again.
    ApplyStoredPermission();

    if (searchBoxWindow_.Create(Handle(), font_.put())) {
        searchBox_ = std::make_unique<CSearchBox>(searchBoxWindow_, services_.History(),
                                                  static_cast<ISearchHost&>(*this), services_.CodePages());
    }

    // A process that already holds a digest shows it at once.
    StartStartupTimer(theProcessState.HasDigestCache(theSettings.GetServerUrl()) ? 0 : kStartupDelayMs);
}

// ---- messages

bool TavelleToolbarCtrl::ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                              LRESULT& result) {
    switch (msg) {
        case OCM_COMMAND:
            // The buttons' clicks, reflected back by the parent.
            if (FindButtonCommand(LOWORD(wParam))) {
                ExecuteCommand(LOWORD(wParam), *this, theSettings);
                result = 0;
                return true;
            }
            break;
        case OCM_NOTIFY:
            if (lParam && reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(TBN_DROPDOWN)) {
                ShowDigestMenu();
                result = TBDDRET_DEFAULT;
                return true;
            }
            break;
        case WM_COMMAND:
            if (OnCommandFromWindow(wParam, lParam)) {
                result = 0;
                return true;
            }
            break;
        case WM_TIMER:
            OnTimer(wParam);
            result = 0;
            return true;
        default:
            break;
    }
    return CIEToolbandCtrl::ProcessWindowMessage(hwnd, msg, wParam, lParam, result);
}

bool TavelleToolbarCtrl::OnCommandFromWindow(WPARAM wParam, LPARAM lParam) {
    switch (HIWORD(wParam)) {
        case CBN_EDITUPDATE:
            if (searchBox_) searchBox_->OnEditUpdate();
            return true;
        case CBN_SETFOCUS:
            if (IInputObjectSite* site = InputObjectSite()) site->OnFocusChangeIS(Band(), TRUE);
            if (searchBox_ && InService()) searchBox_->OnSetFocus();
            return true;
        default:
            break;
    }
    // Other notifications of the search box are the box's own; menus send no window.
    if (lParam != 0) return false;
    if (!FindMenuCommand(LOWORD(wParam))) return false;
    ExecuteCommand(LOWORD(wParam), *this, theSettings);
    return true;
}

void TavelleToolbarCtrl::OnDetached() {
    // Commands still running (a modal step returned after the band was closed) reach no browser,
    // and the server is polled no more.
    browser_.SetBrowser(nullptr);
    navigator_.browser = nullptr;
    if (Handle()) {
        services_.StopTimer(Handle(), kStartupTimerId);
        services_.StopTimer(Handle(), kRefreshTimerId);
    }
}

bool TavelleToolbarCtrl::HasFocus() { return searchBoxWindow_.IsPartOfBox(GetFocus()); }

HRESULT TavelleToolbarCtrl::TranslateAccelerator(MSG* msg) {
    if (!msg) return S_FALSE;
    const bool ctrl = services_.Keys().CtrlHeld();
    switch (ClassifySearchBoxKey(msg->message, static_cast<unsigned>(msg->wParam), ctrl)) {
        case SearchBoxKey::StartWebSearch:
            SearchWeb();
            return S_OK;
        case SearchBoxKey::SuppressCompletion:
            if (searchBox_) searchBox_->SetAutoCompleteSuppressed(true);
            break;
        case SearchBoxKey::ResumeCompletion:
            if (searchBox_) searchBox_->SetAutoCompleteSuppressed(false);
            break;
        case SearchBoxKey::None:
            break;
    }
    return CIEToolbandCtrl::TranslateAccelerator(msg);
}

// ---- menus

bool TavelleToolbarCtrl::PointBelowButton(unsigned buttonId, POINT* point) const {
    RECT rect{};
    if (!SendMessageW(Handle(), TB_GETRECT, buttonId, reinterpret_cast<LPARAM>(&rect))) return false;
    POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
    if (ClientToScreen(Handle(), &corners[0])) ClientToScreen(Handle(), &corners[1]);
    *point = {corners[0].x, corners[1].y};
    return true;
}

void TavelleToolbarCtrl::ShowButtonMenu(unsigned buttonId, int subMenu) {
    POINT at{};
    PointBelowButton(buttonId, &at);
    unique_hmenu menu(LoadMenuW(OwnModule(), MAKEINTRESOURCEW(kMenuResource)));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu.get(), subMenu);
    if (popup) services_.TrackPopupMenu(popup, at.x, at.y, Handle());
}

void TavelleToolbarCtrl::ShowDigestMenu() {
    const std::vector<MenuEntry> entries = DigestMenuEntries(digestRecords_);
    if (entries.empty()) return;
    shownDigestRecords_ = digestRecords_;
    unique_hmenu menu(CreatePopupMenu());
    if (!menu) return;
    for (const MenuEntry& entry : entries) {
        AppendMenuW(menu.get(), MF_STRING, entry.id, Wide(DoubleEach(entry.text, u'&')));
    }
    POINT at{};
    PointBelowButton(kTopPageButton, &at);
    services_.TrackPopupMenu(menu.get(), at.x, at.y, Handle());
}

// ---- timers and displays

void TavelleToolbarCtrl::StartStartupTimer(unsigned periodMs) {
    // Called after modal steps (the options dialog): a closed toolbar starts nothing.
    if (!InService()) return;
    services_.StartTimer(Handle(), kStartupTimerId, periodMs);
}

void TavelleToolbarCtrl::OnTimer(UINT_PTR id) {
    // A band the browser has closed asks the server nothing more. Each request below blocks
    // this thread; the toolbar is checked again after each.
    if (!InService()) return;
    if (id == kStartupTimerId) {
        // One-shot: stopped first so that nothing below can run it a second time.
        services_.StopTimer(Handle(), kStartupTimerId);
        services_.CheckToolbarPermission();
        // Shift held at this moment skips the automatic update check.
        if (!services_.Keys().ShiftHeld()) services_.StartVersionCheck(true);
        RefreshNextAppointment();
        RefreshDigest();
        if (InService()) services_.StartTimer(Handle(), kRefreshTimerId, kRefreshPeriodMs);
    } else if (id == kRefreshTimerId) {
        RefreshNextAppointment();
        RefreshDigest();
    }
}

bool TavelleToolbarCtrl::WindowInUse() const {
    return IsWindowVisible(Handle()) && GetActiveWindow() != nullptr;
}

void TavelleToolbarCtrl::RefreshDigest() {
    const std::optional<bool> arrivals =
        RefreshDigestRecords(services_.Http(), WindowInUse(), digestRecords_);
    if (!arrivals || !InService()) return;
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_STYLE;
    SendMessageW(Handle(), TB_GETBUTTONINFOW, kTopPageButton, reinterpret_cast<LPARAM>(&info));
    info.dwMask = TBIF_IMAGE | TBIF_STYLE;
    if (*arrivals) {
        info.iImage = kDigestPictureWithArrivals;
        info.fsStyle |= BTNS_DROPDOWN;
    } else {
        info.iImage = kDigestPicturePlain;
        info.fsStyle = BTNS_BUTTON;
    }
    SendMessageW(Handle(), TB_SETBUTTONINFOW, kTopPageButton, reinterpret_cast<LPARAM>(&info));
    // The arrow changes the button's width, which moves the search box's slot.
    searchBoxWindow_.FitToSlot();
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TavelleToolbarCtrl::RefreshNextAppointment() {
    const std::optional<std::u16string> caption =
        RefreshNextAppointmentCaption(services_.Http(), WindowInUse(), services_.Clock());
    if (!caption || !InService()) return;
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT | TBIF_STYLE | TBIF_IMAGE | TBIF_STATE;
    info.pszText = const_cast<wchar_t*>(Wide(*caption));
    info.fsStyle = BTNS_SHOWTEXT | BTNS_AUTOSIZE;
    info.iImage = I_IMAGENONE;
    info.fsState = TBSTATE_ENABLED;
    SendMessageW(Handle(), TB_SETBUTTONINFOW, kAppointmentButton, reinterpret_cast<LPARAM>(&info));
    SendMessageW(Handle(), TB_SETSTATE, kAppointmentButton,
                 MAKELONG(caption->empty() ? 0 : TBSTATE_ENABLED, 0));
}

// ---- commands

void TavelleToolbarCtrl::OpenPage(unsigned stringId, bool newTab) { navigator_.OpenPage(stringId, newTab); }

void TavelleToolbarCtrl::OpenRelativePage(const std::u16string& query, bool newTab) {
    navigator_.OpenRelativePage(query, newTab);
}

void TavelleToolbarCtrl::SearchWeb() {
    if (searchBox_) searchBox_->SearchWeb();
}

bool TavelleToolbarCtrl::SearchOrOpenIndex(unsigned templateId, unsigned indexId) {
    if (searchBox_) return searchBox_->SearchOrOpenIndex(templateId, indexId);
    navigator_.OpenPage(indexId, false);
    return false;
}

int TavelleToolbarCtrl::ShowOptionsDialog() {
    return services_.Prompts().ShowOptionsDialog(std::u16string());
}

void TavelleToolbarCtrl::StartVersionCheck(bool automatic) { services_.StartVersionCheck(automatic); }

void TavelleToolbarCtrl::ShowAboutDialog() { services_.ShowAboutDialog(); }

bool TavelleToolbarCtrl::DigestEntryQuery(size_t index, std::u16string* query) {
    return ChosenDigestEntryQuery(shownDigestRecords_, digestRecords_, index, query);
}

// ---- searches

void TavelleToolbarCtrl::NavigateToUrl(const std::u16string& url, bool newTab) {
    navigator_.NavigateToUrl(url, newTab);
}

bool TavelleToolbarCtrl::AskForServerUrl() { return navigator_.AskForServerUrl(); }

void TavelleToolbarCtrl::ShowNotPermitted() {
    navigator_.ShowMessage(kMessageToolbarRefused, kMbOk | kMbIconError);
}

std::u16string TavelleToolbarCtrl::ServerUrl() { return theSettings.GetServerUrl(); }

bool TavelleToolbarCtrl::ToolbarAllowed() { return theProcessState.AllowToolbar(); }

bool TavelleToolbarCtrl::NewTabInSearchResult() { return theSettings.GetBool(u"NewTabInSearchResult"); }

}  // namespace tt
