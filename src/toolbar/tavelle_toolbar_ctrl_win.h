#pragma once
// TavelleToolbarCtrl: the toolbar window the band places in the browser. It finishes the
// buttons (logo, text buttons, search box), turns clicks and menu choices into commands,
// shows the pop-up menus, and keeps the new-arrivals and next-appointment displays fresh on
// its two timers.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "toolbar/command_table.h"
#include "toolbar/navigator_win.h"
#include "toolbar/search_box.h"
#include "toolbar/search_box_win.h"
#include "toolbar/toolband_ctrl_win.h"
#include "string_ids.h"

namespace tt {

class IClock;
class IHttpClient;

// Picture values of the buttons the toolbar adjusts: list in the high word, index in the low.
constexpr int kLogoPicture = MAKELONG(0, 1);  // 65536: picture 0 of image list 1
constexpr int kLogoButtonExtraWidth = 4;      // the logo's width plus this
constexpr unsigned kLogoBitmap = IDB_LOGO;
constexpr unsigned kAlternateBitmap = IDB_ALTERNATE_TOOLBAR;

// What a toolbar window reaches beyond itself. One object serves the whole process; tests
// put their own in place before creating toolbars.
class IToolbarServices {
public:
    virtual ~IToolbarServices() = default;
    virtual IHttpClient& Http() = 0;
    virtual IClock& Clock() = 0;
    virtual IKeyState& Keys() = 0;
    virtual IUserPrompts& Prompts() = 0;
    virtual IHistoryStore& History() = 0;
    virtual ICodePageConverter& CodePages() = 0;
    // The toolbar permission check of the stored server (not forced).
    virtual void CheckToolbarPermission() = 0;
    virtual void StartVersionCheck(bool automatic) = 0;
    virtual void ShowAboutDialog() = 0;
    // A pop-up menu at a screen position; returns when it is closed. The choice arrives at
    // owner as WM_COMMAND.
    virtual void TrackPopupMenu(HMENU menu, int x, int y, HWND owner) = 0;
    // Starts or restarts a timer of the window; stops one.
    virtual void StartTimer(HWND window, UINT_PTR id, UINT periodMs) = 0;
    virtual void StopTimer(HWND window, UINT_PTR id) = 0;
};

// The platform's services.
IToolbarServices& PlatformToolbarServices();
// The services of toolbars created from now on (null: the platform's).
void SetToolbarServices(IToolbarServices* services);
IToolbarServices& CurrentToolbarServices();

class TavelleToolbarCtrl : public CIEToolbandCtrl, public ICommandTarget, private ISearchHost {
public:
    TavelleToolbarCtrl();
    explicit TavelleToolbarCtrl(IToolbarServices& services);
    ~TavelleToolbarCtrl() override;

    // CIEToolbandCtrl.
    bool ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnToolbarCreated() override;
    bool HasFocus() override;
    HRESULT TranslateAccelerator(MSG* msg) override;
    void OnDetached() override;

    // The drop-down of button 2002: one entry per new arrival (at most eight) and "...".
    void ShowDigestMenu();
    void OnTimer(UINT_PTR id);
    // The two displays, from the process's last answer or a fresh one.
    void RefreshDigest();
    void RefreshNextAppointment();

    // ICommandTarget: what the commands do in this window.
    void OpenPage(unsigned stringId, bool newTab) override;
    void OpenRelativePage(const std::u16string& query, bool newTab) override;
    void SearchWeb() override;
    bool SearchOrOpenIndex(unsigned templateId, unsigned indexId) override;
    void ShowButtonMenu(unsigned buttonId, int subMenu) override;
    int ShowOptionsDialog() override;
    void StartVersionCheck(bool automatic) override;
    void ShowAboutDialog() override;
    void StartStartupTimer(unsigned periodMs) override;
    bool DigestEntryQuery(size_t index, std::u16string* query) override;

    CToolbarNavigator& Navigator() { return navigator_; }
    const std::vector<std::vector<std::u16string>>& DigestRecords() const { return digestRecords_; }
    HWND SearchBoxWindow() const { return searchBoxWindow_.Handle(); }
    CSearchBox* SearchBox() { return searchBox_.get(); }
    HIMAGELIST LogoImageList() const { return logoList_.get(); }
    HIMAGELIST AlternateImageList() const { return alternateList_.get(); }

private:
    // ISearchHost: the searches' way to the navigator and the settings.
    void NavigateToUrl(const std::u16string& url, bool newTab) override;
    bool AskForServerUrl() override;
    void ShowNotPermitted() override;
    std::u16string ServerUrl() override;
    bool ToolbarAllowed() override;
    bool NewTabInSearchResult() override;

    bool OnCommandFromWindow(WPARAM wParam, LPARAM lParam);
    void SetTextButton(unsigned id, const std::u16string& text);
    void InstallLogo();
    void InstallAlternateImages();
    // The toolbar is shown and its thread has the active window: the user works here.
    bool WindowInUse() const;
    // Screen position under a button: its left and bottom edges.
    bool PointBelowButton(unsigned buttonId, POINT* point) const;

    IToolbarServices& services_;
    CWebBrowserNavigation browser_;
    CToolbarNavigator navigator_;
    CSearchBoxWindow searchBoxWindow_;
    std::unique_ptr<CSearchBox> searchBox_;
    unique_himagelist logoList_;  // after the window, which the destructor destroys first
    unique_himagelist alternateList_;
    std::vector<std::vector<std::u16string>> digestRecords_;
    // As the drop-down showed them: the timers may refresh the digest while it is open.
    std::vector<std::vector<std::u16string>> shownDigestRecords_;
};

}  // namespace tt
