// The toolbar window over the test browser: its buttons after creation, the commands of every
// button and menu item, the two displays and the timers that drive them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "resources/string_table.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "support/unique_handle_win.h"
#include "toolbar/toolbar_test_support_win.h"

namespace tt {
namespace {

using testing::DigestText;
using testing::DigestUrl;
using testing::ScheduleUrl;
using testing::ShownMenu;
using testing::ToolbarWindowTest;

using Toolbar = ToolbarWindowTest;

// ---- creation

TEST_F(Toolbar, CreationFinishesTheButtons) {
    CreateToolbar();
    // The two menu buttons show their captions instead of pictures.
    for (UINT id : {kNewItemMenuButton, kListMenuButton}) {
        const TBBUTTONINFOW info = ButtonInfo(id, TBIF_STYLE | TBIF_IMAGE | TBIF_STATE);
        EXPECT_EQ(info.fsStyle & (BTNS_SHOWTEXT | BTNS_AUTOSIZE), BTNS_SHOWTEXT | BTNS_AUTOSIZE) << id;
        EXPECT_EQ(info.iImage, I_IMAGENONE) << id;
        EXPECT_EQ(info.fsState & TBSTATE_ENABLED, TBSTATE_ENABLED) << id;
    }
    EXPECT_EQ(ButtonText(kNewItemMenuButton), L"新規:");
    EXPECT_EQ(ButtonText(kListMenuButton), L"一覧:");

    // The logo: picture 0 of image list 1, 66 + 4 pixels wide.
    const TBBUTTONINFOW logo = ButtonInfo(kLogoButton, TBIF_IMAGE | TBIF_SIZE);
    EXPECT_EQ(logo.iImage, 65536);
    const RECT logoRect = ButtonRect(kLogoButton);
    EXPECT_EQ(logoRect.right - logoRect.left, 70);
    int w = 0, h = 0;
    ASSERT_NE(toolbar->LogoImageList(), nullptr);
    ImageList_GetIconSize(toolbar->LogoImageList(), &w, &h);
    EXPECT_EQ(w, 66);
    EXPECT_EQ(h, 20);
    ASSERT_NE(toolbar->AlternateImageList(), nullptr);
    ImageList_GetIconSize(toolbar->AlternateImageList(), &w, &h);
    EXPECT_EQ(w, 20);
    EXPECT_EQ(ImageList_GetImageCount(toolbar->AlternateImageList()), 20);

    // Button 2003 is a 180-pixel separator with the search box on it.
    const TBBUTTONINFOW slot = ButtonInfo(kSearchSlotButton, TBIF_STYLE);
    EXPECT_EQ(slot.fsStyle & BTNS_SEP, BTNS_SEP);
    const RECT slotRect = ButtonRect(kSearchSlotButton);
    EXPECT_EQ(slotRect.right - slotRect.left, 180);
    ASSERT_NE(toolbar->SearchBoxWindow(), nullptr);
    RECT box{};
    GetWindowRect(toolbar->SearchBoxWindow(), &box);
    MapWindowPoints(nullptr, toolbar->Handle(), reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, slotRect.left);
    EXPECT_EQ(box.right, slotRect.right);
    // At most 2048 characters can be typed into it.
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof(combo);
    ASSERT_TRUE(GetComboBoxInfo(toolbar->SearchBoxWindow(), &combo));
    EXPECT_EQ(SendMessageW(combo.hwndItem, EM_GETLIMITTEXT, 0, 0), 2048);
}

TEST_F(Toolbar, FirstToolbarWaitsThreeSecondsLaterOnesShowTheDigestAtOnce) {
    CreateToolbar();
    ASSERT_EQ(services.timerStarts.size(), 1u);
    EXPECT_EQ(services.timerStarts[0], (std::pair<UINT_PTR, UINT>{257, 3000}));
    toolbar.reset();
    reflector.Destroy();

    theProcessState.SetDigestCache(theSettings.GetServerUrl(), DigestText(2));
    services.timerStarts.clear();
    CreateToolbar();
    ASSERT_EQ(services.timerStarts.size(), 1u);
    EXPECT_EQ(services.timerStarts[0], (std::pair<UINT_PTR, UINT>{257, 0}));
}

TEST_F(Toolbar, StoredPermissionAppliesAtCreation) {
    theSettings.Set(u"AllowToolbar", u"No");
    CreateToolbar();
    EXPECT_FALSE(theProcessState.AllowToolbar());
    toolbar.reset();
    reflector.Destroy();

    // No stored answer: the flag stays as the process has it.
    theSettings.Set(u"AllowToolbar", u"");
    CreateToolbar();
    EXPECT_FALSE(theProcessState.AllowToolbar());
    theProcessState.SetAllowToolbar(true);
    toolbar.reset();
    reflector.Destroy();
    theSettings.Set(u"AllowToolbar", u"Yes");
    CreateToolbar();
    EXPECT_TRUE(theProcessState.AllowToolbar());
}

// ---- commands

TEST_F(Toolbar, EveryPageButtonOpensItsPage) {
    theSettings.Set(u"NewTabInNewItem", u"Yes");
    CreateToolbar();
    struct Case {
        UINT id;
        const char16_t* query;
        bool newTab;
    };
    const Case cases[] = {
        {2002, u"?page=AGIndex", false},          {2010, u"?page=MailSend", true},
        {2011, u"?page=ScheduleEntry", true},     {2012, u"?page=WhereIndex", true},
        {2013, u"?page=ToDoEntry", true},         {2016, u"?page=ScheduleUserMonth", false},
        {2017, u"?page=ToDoIndex", false},        {2074, u"?page=LinkIndex", false},
        {2022, u"?page=ScheduleUserWeek", false},
    };
    for (const Case& c : cases) {
        const size_t before = Navigations();
        Click(c.id);
        ASSERT_EQ(Navigations(), before + 1) << c.id;
        EXPECT_EQ(LastNavigation().url, Wide(base + c.query)) << c.id;
        EXPECT_EQ(LastNavigation().flags, c.newTab ? navOpenInNewTab : navNoReadFromCache | navNoWriteToCache)
            << c.id;
    }
}

TEST_F(Toolbar, EveryMenuItemOpensItsPage) {
    theSettings.Set(u"NewTabInNewItem", u"No");
    CreateToolbar();
    const std::pair<UINT, const char16_t*> cases[] = {
        {208, u"?page=MailSend"},
        {209, u"?page=MyFolderMessageSend&cp=ml"},
        {259, u"?page=MyFolderMemoAdd"},
        {210, u"?page=WhereIndex"},
        {255, u"?page=BulletinSend"},
        {211, u"?page=ScheduleEntry"},
        {212, u"?page=ToDoEntry"},
        {213, u"?page=AddressEntry&cp=al"},
        {239, u"?page=ScheduleIndex"},
        {240, u"?page=ScheduleGroupDay"},
        {241, u"?page=ScheduleUserMonth"},
        {242, u"?page=ScheduleUserWeek"},
        {243, u"?page=ScheduleUserDay"},
        {244, u"?page=AddressIndex&tab=person"},
        {245, u"?page=AddressIndex&tab=company"},
        {246, u"?page=UserListIndex"},
    };
    for (const auto& [id, query] : cases) {
        const size_t before = Navigations();
        Choose(id);
        ASSERT_EQ(Navigations(), before + 1) << id;
        EXPECT_EQ(LastNavigation().url, Wide(base + query)) << id;
        EXPECT_EQ(LastNavigation().flags, navNoReadFromCache | navNoWriteToCache) << id;
    }
}

TEST_F(Toolbar, WeekViewButtonIgnoresItsCaption) {
    services.http.Answer(ScheduleUrl(base), u"9,05,Meeting\r\nNOERROR\r\n");
    CreateToolbar();
    toolbar->RefreshNextAppointment();
    EXPECT_EQ(ButtonText(kAppointmentButton), L"9:05 Meeting");
    Click(kAppointmentButton);
    EXPECT_EQ(LastNavigation().url, Wide(base + u"?page=ScheduleUserWeek"));
}

TEST_F(Toolbar, MenuButtonsShowTheirMenuUnderTheButton) {
    CreateToolbar();
    Click(kLogoButton);
    Click(kNewItemMenuButton);
    Click(kListMenuButton);
    ASSERT_EQ(services.menus.size(), 3u);
    ASSERT_EQ(services.menus[0].ids, (std::vector<UINT>{219, 257, 0, 220}));
    EXPECT_EQ(services.menus[0].texts[0], L"Tavelle ツールバーの設定(&O)...");
    EXPECT_EQ(services.menus[1].ids, (std::vector<UINT>{208, 209, 259, 210, 255, 0, 211, 212, 213}));
    ASSERT_EQ(services.menus[2].ids, (std::vector<UINT>{239, 240, 241, 242, 243, 0, 244, 245, 246}));
    EXPECT_EQ(services.menus[2].texts[8], L"ユーザー名簿(&U)");
    for (const ShownMenu& m : services.menus) EXPECT_EQ(m.owner, toolbar->Handle());
    // Left edge and bottom edge of the button, on the screen.
    POINT corner{ButtonRect(kListMenuButton).left, ButtonRect(kListMenuButton).bottom};
    ClientToScreen(toolbar->Handle(), &corner);
    EXPECT_EQ(services.menus[2].at.x, corner.x);
    EXPECT_EQ(services.menus[2].at.y, corner.y);
    EXPECT_EQ(Navigations(), 0u);

    // A choice arrives as the menu's WM_COMMAND and opens its page.
    services.choose = [](const ShownMenu&) { return 241u; };
    Click(kListMenuButton);
    testing::PumpMessages(50);
    ASSERT_EQ(Navigations(), 1u);
    EXPECT_EQ(LastNavigation().url, Wide(base + u"?page=ScheduleUserMonth"));
}

TEST_F(Toolbar, DialogCommandsAndTheSearchSlot) {
    CreateToolbar();
    services.timerStarts.clear();
    services.prompts.optionsResult = 2;
    Choose(219);
    EXPECT_EQ(services.prompts.optionsDialogs, std::vector<std::u16string>{u""});
    EXPECT_TRUE(services.timerStarts.empty());
    services.prompts.optionsResult = 1;
    Choose(219);
    EXPECT_EQ(services.timerStarts, (std::vector<std::pair<UINT_PTR, UINT>>{{257, 0}}));

    Choose(257);
    EXPECT_EQ(services.versionChecks, std::vector<bool>{false});
    Choose(220);
    EXPECT_EQ(services.aboutBoxes, 1);

    Click(kSearchSlotButton);
    Choose(999);
    EXPECT_EQ(Navigations(), 0u);
    EXPECT_TRUE(services.menus.empty());
}

TEST_F(Toolbar, SearchButtonsAndEnterReachTheSearchBox) {
    CreateToolbar();
    ASSERT_NE(toolbar->SearchBoxWindow(), nullptr);
    // An empty box: the bulletin button opens the index, the web button the portal.
    Click(2005);
    EXPECT_EQ(LastNavigation().url, Wide(base + u"?page=BulletinIndex"));
    Click(2004);
    EXPECT_EQ(LastNavigation().url, Wide(LoadResourceString(2067)));

    SetWindowTextW(toolbar->SearchBoxWindow(), L"a b");
    Click(2005);
    EXPECT_EQ(LastNavigation().url, Wide(base + u"?page=BulletinSimpleSearch&cp=bw&Text=a%20b"));
    EXPECT_EQ(services.history.stored, std::vector<std::u16string>{u"a b"});

    // Enter searches the web, whatever was used last.
    MSG enter{toolbar->SearchBoxWindow(), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_EQ(toolbar->TranslateAccelerator(&enter), S_OK);
    const std::wstring web = LastNavigation().url;
    std::wstring expected = Wide(LoadResourceString(2051));
    expected.replace(expected.find(L"%s"), 2, L"a%20b");
    EXPECT_EQ(web, expected);
}

TEST_F(Toolbar, AGroupwareSearchWithoutAServerUrlAsksForOne) {
    theSettings.Set(u"TavelleUrl", u"");
    CreateToolbar();
    SetWindowTextW(toolbar->SearchBoxWindow(), L"x");
    // Declined: no bare page query is opened, and no index page either.
    services.prompts.answer = kIdNo;
    Click(2005);
    ASSERT_EQ(services.prompts.boxes.size(), 1u);
    EXPECT_EQ(services.prompts.boxes[0].text, LoadResourceString(kMessageNoServerUrl));
    EXPECT_EQ(services.prompts.boxes[0].caption, LoadResourceString(500));
    EXPECT_TRUE(services.prompts.optionsDialogs.empty());
    EXPECT_EQ(Navigations(), 0u);

    // Accepted: the options dialog sets the server and the search goes there.
    services.prompts.answer = kIdYes;
    services.prompts.onOptionsDialog = [] {
        theSettings.Set(u"TavelleUrl", u"https://new.example.jp/ag.exe");
    };
    Click(2005);
    EXPECT_EQ(services.prompts.boxes.size(), 2u);
    EXPECT_EQ(services.prompts.optionsDialogs, std::vector<std::u16string>{u""});
    ASSERT_EQ(Navigations(), 1u);
    EXPECT_EQ(LastNavigation().url, L"https://new.example.jp/ag.exe?page=BulletinSimpleSearch&cp=bw&Text=x");
    EXPECT_EQ(services.history.stored.front(), u"x");
}

TEST_F(Toolbar, DeletingKeysHoldOffTheCompletionUntilReleased) {
    CreateToolbar();
    ASSERT_NE(toolbar->SearchBox(), nullptr);
    MSG back{toolbar->SearchBoxWindow(), WM_KEYDOWN, VK_BACK, 0, 0, {0, 0}};
    toolbar->TranslateAccelerator(&back);
    EXPECT_TRUE(toolbar->SearchBox()->AutoCompleteSuppressed());
    back.message = WM_KEYUP;
    toolbar->TranslateAccelerator(&back);
    EXPECT_FALSE(toolbar->SearchBox()->AutoCompleteSuppressed());

    // X only counts with Ctrl.
    MSG x{toolbar->SearchBoxWindow(), WM_KEYDOWN, 'X', 0, 0, {0, 0}};
    toolbar->TranslateAccelerator(&x);
    EXPECT_FALSE(toolbar->SearchBox()->AutoCompleteSuppressed());
    services.keys.ctrl = true;
    toolbar->TranslateAccelerator(&x);
    EXPECT_TRUE(toolbar->SearchBox()->AutoCompleteSuppressed());
}

TEST_F(Toolbar, FocusIsTheSearchBoxs) {
    CreateToolbar();
    SetFocus(frame);
    EXPECT_FALSE(toolbar->HasFocus());
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(toolbar->SearchBoxWindow(), &info));
    SetFocus(info.hwndItem);
    EXPECT_TRUE(toolbar->HasFocus());
    SetFocus(frame);
}

// ---- displays

TEST_F(Toolbar, DigestWithEntriesGivesTheArrowAndItsMenu) {
    services.http.Answer(DigestUrl(base), DigestText(2));
    CreateToolbar();
    toolbar->RefreshDigest();
    TBBUTTONINFOW top = ButtonInfo(kTopPageButton, TBIF_IMAGE | TBIF_STYLE);
    EXPECT_EQ(top.iImage, 131073);
    EXPECT_EQ(top.fsStyle & BTNS_DROPDOWN, BTNS_DROPDOWN);
    // The arrow widened button 2002: the search box moved with its slot.
    auto boxLeft = [&] {
        RECT box{};
        GetWindowRect(toolbar->SearchBoxWindow(), &box);
        MapWindowPoints(nullptr, toolbar->Handle(), reinterpret_cast<POINT*>(&box), 2);
        return box.left;
    };
    const LONG slotWithArrow = ButtonRect(kSearchSlotButton).left;
    EXPECT_EQ(boxLeft(), slotWithArrow);

    services.choose = [](const ShownMenu& m) { return m.ids.empty() ? 0u : m.ids[0]; };
    services.timerStarts.clear();
    DropDown();
    ASSERT_EQ(services.menus.size(), 1u);
    EXPECT_EQ(services.menus[0].ids, std::vector<UINT>{230});
    EXPECT_EQ(services.menus[0].texts, std::vector<std::wstring>{L"L1: T1"});
    testing::PumpMessages(50);
    ASSERT_EQ(Navigations(), 1u);
    EXPECT_EQ(LastNavigation().url, Wide(base + u"?page=P1"));
    EXPECT_EQ(LastNavigation().flags, navNoReadFromCache | navNoWriteToCache);
    EXPECT_EQ(services.timerStarts, (std::vector<std::pair<UINT_PTR, UINT>>{{257, 4000}}));

    // The header alone: no arrow, the plain picture, and no menu.
    services.http.Answer(DigestUrl(base), DigestText(1));
    toolbar->RefreshDigest();
    top = ButtonInfo(kTopPageButton, TBIF_IMAGE | TBIF_STYLE);
    EXPECT_EQ(top.iImage, 1);
    EXPECT_EQ(top.fsStyle, BTNS_BUTTON);
    // Without the arrow the slot moves back left, and the box with it.
    EXPECT_LT(ButtonRect(kSearchSlotButton).left, slotWithArrow);
    EXPECT_EQ(boxLeft(), ButtonRect(kSearchSlotButton).left);
    DropDown();
    EXPECT_EQ(services.menus.size(), 1u);
}

TEST_F(Toolbar, DigestMenusOfEightAndNineRecords) {
    CreateToolbar();
    services.http.Answer(DigestUrl(base), DigestText(8));
    toolbar->RefreshDigest();
    DropDown();
    services.http.Answer(DigestUrl(base), DigestText(9));
    toolbar->RefreshDigest();
    DropDown();
    ASSERT_EQ(services.menus.size(), 2u);
    EXPECT_EQ(services.menus[0].ids, (std::vector<UINT>{230, 231, 232, 233, 234, 235, 236}));
    ASSERT_EQ(services.menus[1].ids, (std::vector<UINT>{230, 231, 232, 233, 234, 235, 236, 237, 238}));
    EXPECT_EQ(services.menus[1].texts[8], L"...");

    // "..." opens the top page and fetches again four seconds later.
    services.timerStarts.clear();
    Choose(238);
    EXPECT_EQ(LastNavigation().url, Wide(base + u"?page=AGIndex"));
    EXPECT_EQ(services.timerStarts, (std::vector<std::pair<UINT_PTR, UINT>>{{257, 4000}}));

    // An entry the digest no longer holds does nothing.
    services.http.Answer(DigestUrl(base), DigestText(2));
    toolbar->RefreshDigest();
    const size_t before = Navigations();
    services.timerStarts.clear();
    Choose(231);
    EXPECT_EQ(Navigations(), before);
    EXPECT_TRUE(services.timerStarts.empty());
}

TEST_F(Toolbar, AnEntryOpensTheRecordShownWhenTheDigestChangedWhileTheMenuWasOpen) {
    services.http.Answer(DigestUrl(base), DigestText(3));
    CreateToolbar();
    toolbar->RefreshDigest();
    // The refresh timer fires inside the menu's loop: a new arrival now leads the digest.
    services.choose = [&](const ShownMenu&) {
        services.http.Answer(DigestUrl(base), u"header\r\nN,?page=NEW,New\r\n" + DigestText(3).substr(8));
        toolbar->RefreshDigest();
        return 230u;
    };
    DropDown();
    testing::PumpMessages(50);
    ASSERT_EQ(Navigations(), 1u);
    EXPECT_EQ(LastNavigation().url, Wide(base + u"?page=P1"));
}

TEST_F(Toolbar, MenuTextsKeepTheirAmpersands) {
    services.http.Answer(DigestUrl(base), u"h\r\nQ&A,?page=Q,R&D\r\nNOERROR\r\n");
    CreateToolbar();
    toolbar->RefreshDigest();
    DropDown();
    ASSERT_EQ(services.menus.size(), 1u);
    ASSERT_EQ(services.menus[0].texts.size(), 1u);
    EXPECT_EQ(services.menus[0].texts[0], L"Q&&A: R&&D");
}

TEST_F(Toolbar, AppointmentCaptionAtAndAfterItsMinute) {
    services.http.Answer(ScheduleUrl(base), u"8,30,Early\r\n9,05,Meeting\r\nNOERROR\r\n");
    CreateToolbar();
    EXPECT_EQ(ButtonText(kAppointmentButton), L"新着情報");
    services.clock.now.hour = 9;
    services.clock.now.minute = 5;
    toolbar->RefreshNextAppointment();
    EXPECT_EQ(ButtonText(kAppointmentButton), L"9:05 Meeting");
    EXPECT_EQ(SendMessageW(toolbar->Handle(), TB_GETSTATE, kAppointmentButton, 0) & TBSTATE_ENABLED,
              TBSTATE_ENABLED);
    const TBBUTTONINFOW info = ButtonInfo(kAppointmentButton, TBIF_IMAGE | TBIF_STYLE);
    EXPECT_EQ(info.iImage, I_IMAGENONE);
    EXPECT_EQ(info.fsStyle & (BTNS_SHOWTEXT | BTNS_AUTOSIZE), BTNS_SHOWTEXT | BTNS_AUTOSIZE);

    services.clock.now.minute = 6;
    toolbar->RefreshNextAppointment();
    EXPECT_EQ(ButtonText(kAppointmentButton), L"");
    EXPECT_EQ(SendMessageW(toolbar->Handle(), TB_GETSTATE, kAppointmentButton, 0) & TBSTATE_ENABLED, 0);
}

TEST_F(Toolbar, AnHtmlAnswerClearsBothDisplays) {
    services.http.Answer(DigestUrl(base), DigestText(3));
    services.http.Answer(ScheduleUrl(base), u"23,59,Late\r\nNOERROR\r\n");
    CreateToolbar();
    toolbar->OnTimer(kRefreshTimerId);
    EXPECT_EQ(ButtonInfo(kTopPageButton, TBIF_IMAGE).iImage, 131073);
    EXPECT_EQ(ButtonText(kAppointmentButton), L"23:59 Late");

    // The server ended the session: both pages answer with the log-in page.
    services.http.Answer(DigestUrl(base), u"<html><title>ログイン</title></html>");
    services.http.Answer(ScheduleUrl(base), u"<html><title>ログイン</title></html>");
    toolbar->OnTimer(kRefreshTimerId);
    EXPECT_EQ(ButtonInfo(kTopPageButton, TBIF_IMAGE).iImage, 1);
    EXPECT_EQ(ButtonInfo(kTopPageButton, TBIF_STYLE).fsStyle, BTNS_BUTTON);
    EXPECT_EQ(ButtonText(kAppointmentButton), L"");
    EXPECT_EQ(SendMessageW(toolbar->Handle(), TB_GETSTATE, kAppointmentButton, 0) & TBSTATE_ENABLED, 0);

    // No answer at all keeps the displays as they are.
    services.http.Answer(DigestUrl(base), DigestText(3));
    toolbar->OnTimer(kRefreshTimerId);
    services.http.Forget(DigestUrl(base));
    toolbar->OnTimer(kRefreshTimerId);
    EXPECT_EQ(ButtonInfo(kTopPageButton, TBIF_IMAGE).iImage, 131073);
}

TEST_F(Toolbar, StartupTimerChecksThenRefreshesThenRepeats) {
    services.http.Answer(DigestUrl(base), DigestText(2));
    services.http.Answer(ScheduleUrl(base), u"NOERROR\r\n");
    CreateToolbar();
    services.timerStarts.clear();
    toolbar->OnTimer(kStartupTimerId);
    EXPECT_EQ(services.permissionChecks, 1);
    EXPECT_EQ(services.versionChecks, std::vector<bool>{true});
    const auto requests = services.http.Requests();
    ASSERT_EQ(requests.size(), 2u);
    // The appointment first, then the digest.
    EXPECT_EQ(requests[0].url, ScheduleUrl(base));
    EXPECT_EQ(requests[1].url, DigestUrl(base));
    EXPECT_EQ(requests[0].headers,
              u"Pragma: no-cache\nContent-Type: application/x-www-form-urlencoded\nCookie: AGSESSID=7\n");
    EXPECT_EQ(services.runningTimers.count(kStartupTimerId), 0u);
    EXPECT_EQ(services.timerStarts, (std::vector<std::pair<UINT_PTR, UINT>>{{256, 300000}}));

    // Shift held: no update check, the rest as before.
    services.keys.shift = true;
    toolbar->OnTimer(kStartupTimerId);
    EXPECT_EQ(services.permissionChecks, 2);
    EXPECT_EQ(services.versionChecks.size(), 1u);
    EXPECT_EQ(services.http.RequestCount(), 4u);

    // The refresh timer refreshes only.
    toolbar->OnTimer(kRefreshTimerId);
    EXPECT_EQ(services.permissionChecks, 2);
    EXPECT_EQ(services.http.RequestCount(), 6u);
}

TEST_F(Toolbar, RefusedToolbarLeavesTheDisplaysAlone) {
    services.http.Answer(DigestUrl(base), DigestText(3));
    CreateToolbar();
    theProcessState.SetAllowToolbar(false);
    toolbar->OnTimer(kStartupTimerId);
    EXPECT_EQ(services.permissionChecks, 1);
    EXPECT_EQ(services.versionChecks.size(), 1u);
    EXPECT_EQ(services.http.RequestCount(), 0u);
    EXPECT_EQ(ButtonInfo(kTopPageButton, TBIF_IMAGE).iImage, 1);
    EXPECT_EQ(ButtonText(kAppointmentButton), L"新着情報");
}

TEST_F(Toolbar, NoCookieAndNoLogInSendsNothing) {
    theProcessState.SetGroupwareCookie(theSettings.GetServerUrl(), u"");
    services.http.Answer(DigestUrl(base), DigestText(3));
    CreateToolbar();
    toolbar->OnTimer(kStartupTimerId);
    EXPECT_EQ(services.http.RequestCount(), 0u);
    EXPECT_EQ(ButtonInfo(kTopPageButton, TBIF_IMAGE).iImage, 1);
    EXPECT_EQ(ButtonText(kAppointmentButton), L"新着情報");
}

TEST_F(Toolbar, TimersRunByThemselves) {
    services.timerDivisor = 1000;  // 3 s become 3 ms, 5 minutes 300 ms
    services.http.Answer(DigestUrl(base), DigestText(2));
    services.http.Answer(ScheduleUrl(base), u"NOERROR\r\n");
    CreateToolbar();
    // The start-up check, then at least one repetition.
    EXPECT_TRUE(testing::PumpUntil([&] { return services.http.RequestCount() >= 4; }, 5000));
    EXPECT_EQ(services.permissionChecks, 1);
    EXPECT_EQ(ButtonInfo(kTopPageButton, TBIF_IMAGE).iImage, 131073);
}

// Two browser windows of one process: only the one in use asks the server; the other shows
// the process's last answer at its next refresh.
TEST_F(Toolbar, OnlyTheWindowInUseFetches) {
    services.http.Answer(DigestUrl(base), DigestText(3));
    services.http.Answer(ScheduleUrl(base), u"23,00,Review\r\nNOERROR\r\n");
    CreateToolbar();

    testing::FakeToolbarServices otherServices;
    otherServices.http.Answer(DigestUrl(base), DigestText(3));
    otherServices.http.Answer(ScheduleUrl(base), u"23,00,Review\r\nNOERROR\r\n");
    HWND otherFrame = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW, 0, 200, 900, 120, nullptr,
                                      nullptr, nullptr, nullptr);
    CToolBarReflectorCtrl otherReflector;
    RECT rect{0, 0, 900, 30};
    ASSERT_NE(otherReflector.Create(otherFrame, rect), nullptr);
    auto other = std::make_unique<TavelleToolbarCtrl>(otherServices);
    other->SetBrowser(browser.Get());
    ASSERT_NE(other->CreateToolbar(otherReflector.Handle(), 515), nullptr);
    SetParent(other->Handle(), otherFrame);  // the other browser window is not shown

    // The window in use fetches both pages.
    toolbar->OnTimer(kRefreshTimerId);
    EXPECT_EQ(services.http.RequestCount(), 2u);
    // The other one redraws from the shared answers without a request.
    other->OnTimer(kRefreshTimerId);
    EXPECT_EQ(otherServices.http.RequestCount(), 0u);
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_IMAGE;
    SendMessageW(other->Handle(), TB_GETBUTTONINFOW, kTopPageButton, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.iImage, 131073);
    EXPECT_EQ(other->DigestRecords().size(), 3u);

    // An empty cache makes any window fetch.
    theProcessState.SetDigestCache(theSettings.GetServerUrl(), u"");
    other->OnTimer(kRefreshTimerId);
    EXPECT_EQ(otherServices.http.RequestCount(), 1u);
    EXPECT_EQ(otherServices.http.Requests()[0].url, DigestUrl(base));

    other.reset();
    otherReflector.Destroy();
    DestroyWindow(otherFrame);
}

}  // namespace
}  // namespace tt
