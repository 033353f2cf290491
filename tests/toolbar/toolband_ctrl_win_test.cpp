// The toolbar window base and the reflector: buttons from toolbar resources, the reflection of
// child notifications, the key filter and the search for the browser's host windows.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <iterator>
#include <string>
#include <vector>

#include "fakes/fresh_state.h"
#include "settings/toolbar_settings.h"
#include "toolbar/command_table.h"
#include "toolbar/toolband_ctrl_win.h"
#include "toolbar/toolband_test_support_win.h"

namespace tt {
namespace {

using testing::RecordingWindow;

// A top-level window to put the toolbar windows in.
class ToolbandWindows : public testing::FreshStateTest<> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        parent_ = CreateWindowExW(0, L"STATIC", L"toolband test", WS_OVERLAPPEDWINDOW, 0, 0, 600, 200,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(parent_);
    }
    void TearDown() override {
        DestroyWindow(parent_);
        FreshStateTest::TearDown();
    }
    HWND parent_ = nullptr;
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

TBBUTTON Button(HWND toolbar, int index) {
    TBBUTTON b = {};
    SendMessageW(toolbar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&b));
    return b;
}

// ---- reflector

TEST_F(ToolbandWindows, TheReflectorSendsChildNotificationsBackAsOcmMessages) {
    CToolBarReflectorCtrl reflector;
    RECT rect = {0, 0, 300, 30};
    HWND hwnd = reflector.Create(parent_, rect);
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(L"IEToolbandReflectorCtrl", ClassOf(hwnd));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_CHILD),
              GetWindowLongPtrW(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(0xFFFF))
        << "a child and nothing more: never visible";
    EXPECT_FALSE(IsWindowVisible(hwnd));
    RecordingWindow child(hwnd, WS_CHILD, 77);

    // A control's command comes back to it as OCM_COMMAND with the same parameters and result.
    const WPARAM command = MAKEWPARAM(77, BN_CLICKED);
    EXPECT_EQ(RecordingWindow::kAnswer,
              SendMessageW(hwnd, WM_COMMAND, command, reinterpret_cast<LPARAM>(child.Handle())));
    ASSERT_EQ(1u, child.Received().size());
    EXPECT_EQ(OCM__BASE + WM_COMMAND, child.Received()[0].msg);
    EXPECT_EQ(0x2111u, child.Received()[0].msg);
    EXPECT_EQ(command, child.Received()[0].wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(child.Handle()), child.Received()[0].lParam);

    NMHDR hdr = {child.Handle(), 77, static_cast<UINT>(TBN_DROPDOWN)};
    EXPECT_EQ(RecordingWindow::kAnswer, SendMessageW(hwnd, WM_NOTIFY, 77, reinterpret_cast<LPARAM>(&hdr)));
    EXPECT_EQ(OCM_NOTIFY, child.Received().back().msg);
    EXPECT_EQ(reinterpret_cast<LPARAM>(&hdr), child.Received().back().lParam);

    SendMessageW(hwnd, WM_CTLCOLOREDIT, 0, reinterpret_cast<LPARAM>(child.Handle()));
    EXPECT_EQ(OCM__BASE + WM_CTLCOLOREDIT, child.Received().back().msg);
    SendMessageW(hwnd, WM_HSCROLL, SB_LINELEFT, reinterpret_cast<LPARAM>(child.Handle()));
    EXPECT_EQ(OCM__BASE + WM_HSCROLL, child.Received().back().msg);
    SendMessageW(hwnd, WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 77), 0);
    EXPECT_EQ(OCM__BASE + WM_PARENTNOTIFY, child.Received().back().msg) << "found by its control id";
    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_LISTBOX;
    measure.CtlID = 77;
    SendMessageW(hwnd, WM_MEASUREITEM, 77, reinterpret_cast<LPARAM>(&measure));
    EXPECT_EQ(OCM__BASE + WM_MEASUREITEM, child.Received().back().msg);

    // A menu command has no control; a dead window gets nothing; other messages are not reflected.
    child.Clear();
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(219, 0), 0);
    NMHDR gone = {reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7777)), 1, 0};
    SendMessageW(hwnd, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&gone));
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x"));
    SendMessageW(hwnd, WM_DRAWITEM, 0, 0);  // a menu's owner drawing (no control id)
    EXPECT_TRUE(child.Received().empty());

    reflector.Destroy();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(nullptr, reflector.Handle());
}

// ---- the toolbar window

class CountingCtrl : public CIEToolbandCtrl {
public:
    void OnToolbarCreated() override {
        buttonsAtCreation = static_cast<int>(SendMessageW(Handle(), TB_BUTTONCOUNT, 0, 0));
    }
    void OnFinalMessage(HWND) override { ++finalMessages; }
    void GiveFont(HFONT f) { font_.reset(f); }
    int buttonsAtCreation = -1;
    int finalMessages = 0;
};

TEST_F(ToolbandWindows, TheToolbarIsCreatedWithItsStylesAndTheButtonsOfResource515) {
    CountingCtrl ctrl;
    HWND toolbar = ctrl.CreateToolbar(parent_, 515);
    ASSERT_TRUE(toolbar);
    EXPECT_EQ(toolbar, ctrl.Handle());
    EXPECT_EQ(L"IEToolbandCtrl", ClassOf(toolbar));
    EXPECT_EQ(0x5601194Du, static_cast<DWORD>(GetWindowLongPtrW(toolbar, GWL_STYLE)));
    EXPECT_EQ(515, GetDlgCtrlID(toolbar));
    EXPECT_EQ(parent_, GetParent(toolbar));
    EXPECT_TRUE(SendMessageW(toolbar, TB_GETEXTENDEDSTYLE, 0, 0) & TBSTYLE_EX_DRAWDDARROWS);

    // 18 buttons with pictures 0 to 17 in order, and three separators 8 pixels wide.
    const std::vector<int> ids(std::begin(kToolbarLayout), std::end(kToolbarLayout));
    ASSERT_EQ(21, SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    EXPECT_EQ(21, ctrl.buttonsAtCreation) << "OnToolbarCreated runs after the buttons exist";
    int picture = 0;
    for (int i = 0; i < 21; ++i) {
        const TBBUTTON b = Button(toolbar, i);
        EXPECT_EQ(ids[i], b.idCommand) << i;
        if (ids[i] == 0) {
            EXPECT_EQ(BTNS_SEP, b.fsStyle & BTNS_SEP) << i;
            EXPECT_EQ(8, b.iBitmap) << i;
            EXPECT_EQ(0, b.fsState & TBSTATE_ENABLED) << i;
        } else {
            EXPECT_EQ(picture++, b.iBitmap) << i;
            EXPECT_EQ(0, b.fsStyle & BTNS_SEP) << i;
            EXPECT_TRUE(b.fsState & TBSTATE_ENABLED) << i;
        }
    }
    EXPECT_EQ(18, picture);
    EXPECT_EQ(24, LOWORD(SendMessageW(toolbar, TB_GETBUTTONSIZE, 0, 0)));

    // Image list 0: the pictures of bitmap 515, 20 by 20.
    HIMAGELIST list = reinterpret_cast<HIMAGELIST>(SendMessageW(toolbar, TB_GETIMAGELIST, 0, 0));
    ASSERT_TRUE(list);
    EXPECT_EQ(ctrl.ImageList(), list);
    EXPECT_EQ(20, ImageList_GetImageCount(list));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(list, &cx, &cy);
    EXPECT_EQ(20, cx);
    EXPECT_EQ(20, cy);

    // Loading the resource again adds its buttons again and counts the pictures.
    EXPECT_EQ(18, ctrl.LoadToolbarResource(515));
    EXPECT_EQ(42, SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
}

TEST_F(ToolbandWindows, ButtonTextsComeFromTheStringTableByCommandId) {
    CIEToolbandCtrl ctrl;
    ASSERT_TRUE(ctrl.CreateToolbar(parent_, 9515));
    HWND toolbar = ctrl.Handle();
    ASSERT_EQ(4, SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    wchar_t text[128] = {};
    EXPECT_EQ(static_cast<LRESULT>(wcslen(L"Tavelle(R) ツールバー")),
              SendMessageW(toolbar, TB_GETBUTTONTEXTW, 500, reinterpret_cast<LPARAM>(text)));
    EXPECT_STREQ(L"Tavelle(R) ツールバー", text);
    SendMessageW(toolbar, TB_GETBUTTONTEXTW, 502, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(L"Software\\Tavelle\\TavelleToolbar", text);
    // An id without a text has none (and does not borrow another button's).
    text[0] = L'?';
    const LRESULT n = SendMessageW(toolbar, TB_GETBUTTONTEXTW, 9999, reinterpret_cast<LPARAM>(text));
    EXPECT_TRUE(n <= 0 || text[0] == 0) << n;
    EXPECT_EQ(2, Button(toolbar, 3).iBitmap);
    EXPECT_EQ(3, ctrl.LoadToolbarResource(9515));
}

TEST_F(ToolbandWindows, ResourcesThatCannotBeReadGiveMinusOneAndNoWindow) {
    CIEToolbandCtrl ctrl;
    EXPECT_EQ(-1, ctrl.LoadToolbarResource(4242));
    EXPECT_EQ(-1, ctrl.LoadToolbarResource(9516)) << "names more items than it holds";
    EXPECT_EQ(-1, ctrl.LoadToolbarResource(9517)) << "shorter than its header";
    EXPECT_EQ(nullptr, ctrl.CreateToolbar(parent_, 4242));
    EXPECT_EQ(nullptr, ctrl.Handle());
    EXPECT_EQ(nullptr, FindWindowExW(parent_, nullptr, L"IEToolbandCtrl", nullptr)) << "no half-made window";
}

TEST_F(ToolbandWindows, TheBaseAnswersTheBandsQuestions) {
    CIEToolbandCtrl ctrl;
    EXPECT_EQ(18, ctrl.GetMinWidth());
    EXPECT_EQ(26, ctrl.GetBandHeight());
    EXPECT_FALSE(ctrl.HasFocus());
}

TEST_F(ToolbandWindows, ReflectedNotificationsGetThePlatformsDefaultAnswers) {
    CIEToolbandCtrl ctrl;
    ASSERT_TRUE(ctrl.CreateToolbar(parent_, 515));
    RecordingWindow edit(parent_, WS_CHILD);
    LRESULT result = 0;
    // The default for WM_CTLCOLOREDIT is the window brush: the reflected one gets the same.
    EXPECT_TRUE(ctrl.ProcessWindowMessage(ctrl.Handle(), OCM__BASE + WM_CTLCOLOREDIT, 0,
                                          reinterpret_cast<LPARAM>(edit.Handle()), result));
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)), result);
    for (UINT plain : {WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_CHARTOITEM, WM_COMPAREITEM, WM_VSCROLL,
                       WM_CTLCOLORSTATIC, WM_PARENTNOTIFY}) {
        EXPECT_TRUE(ctrl.ProcessWindowMessage(ctrl.Handle(), OCM__BASE + plain, 0, 0, result)) << plain;
    }
    EXPECT_FALSE(ctrl.ProcessWindowMessage(ctrl.Handle(), OCM__BASE + WM_SETTEXT, 0, 0, result));
    EXPECT_FALSE(ctrl.ProcessWindowMessage(ctrl.Handle(), WM_COMMAND, 0, 0, result));
    EXPECT_FALSE(ctrl.ProcessWindowMessage(ctrl.Handle(), WM_TIMER, 1, 0, result));
}

// ---- keys

class FocusedCtrl : public CIEToolbandCtrl {
public:
    bool HasFocus() override { return focused; }
    bool focused = true;
};

TEST_F(ToolbandWindows, WithTheFocusEditingKeysAreDispatchedAndConsumed) {
    FocusedCtrl ctrl;
    RecordingWindow target(parent_, WS_CHILD);
    auto key = [&](UINT msg, WPARAM vk) {
        MSG m = {target.Handle(), msg, vk, 0, 0, {0, 0}};
        return ctrl.TranslateAccelerator(&m);
    };
    EXPECT_EQ(S_OK, key(WM_KEYDOWN, VK_LEFT));
    ASSERT_TRUE(target.Saw(WM_KEYDOWN)) << "the key went to its window";
    EXPECT_EQ(VK_LEFT, target.Received().front().wParam);
    target.Clear();
    EXPECT_EQ(S_FALSE, key(WM_KEYDOWN, VK_F5));
    EXPECT_EQ(S_FALSE, key(WM_CHAR, 'a'));
    EXPECT_TRUE(target.Received().empty()) << "left to the browser, which dispatches it once";
    EXPECT_EQ(S_OK, key(WM_KEYDOWN, VK_BACK));
    EXPECT_EQ(S_OK, key(WM_KEYUP, VK_BACK));
    EXPECT_EQ(S_FALSE, key(WM_CHAR, VK_BACK)) << "Backspace counts as a key, not as a character";
    EXPECT_EQ(S_OK, key(WM_KEYUP, VK_DELETE));
    for (WPARAM vk = VK_END; vk <= VK_DOWN; ++vk) EXPECT_EQ(S_OK, key(WM_KEYDOWN, vk)) << vk;
    EXPECT_EQ(S_FALSE, key(WM_KEYDOWN, VK_NEXT));
    EXPECT_EQ(S_FALSE, key(WM_KEYDOWN, VK_INSERT));
    EXPECT_EQ(S_FALSE, key(WM_KEYDOWN, VK_RETURN));

    ctrl.focused = false;
    target.Clear();
    EXPECT_EQ(S_FALSE, key(WM_KEYDOWN, VK_LEFT));
    EXPECT_EQ(S_FALSE, key(WM_KEYDOWN, VK_BACK));
    EXPECT_EQ(S_FALSE, key(WM_KEYDOWN, VK_DELETE));
    EXPECT_TRUE(target.Received().empty()) << "nothing is dispatched without the focus";
    EXPECT_EQ(S_FALSE, ctrl.TranslateAccelerator(nullptr));
}

// ---- lifetime

class CountedUnknown : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown) return *ppv = nullptr, E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
};

TEST_F(ToolbandWindows, TheWindowsEndReleasesTheBandAndTheObjectsEndDestroysTheWindow) {
    CountedUnknown band;
    {
        CountingCtrl ctrl;
        ASSERT_TRUE(ctrl.CreateToolbar(parent_, 515));
        ctrl.SetBand(&band);
        EXPECT_EQ(2u, band.refs);
        HWND toolbar = ctrl.Handle();
        DestroyWindow(toolbar);
        EXPECT_EQ(1u, band.refs);
        EXPECT_EQ(1, ctrl.finalMessages);
        EXPECT_EQ(nullptr, ctrl.Handle());
    }
    HWND toolbar = nullptr;
    HFONT font = CreateFontW(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    {
        CountingCtrl ctrl;
        toolbar = ctrl.CreateToolbar(parent_, 515);
        ctrl.SetBand(&band);
        ctrl.GiveFont(font);
        EXPECT_EQ(OBJ_FONT, static_cast<int>(GetObjectType(font)));
    }
    EXPECT_FALSE(IsWindow(toolbar));
    EXPECT_EQ(1u, band.refs);
    EXPECT_EQ(0, static_cast<int>(GetObjectType(font))) << "the font goes with the object";
}

// ---- host windows

TEST_F(ToolbandWindows, FindVisibleChildByClassPrefersVisibleDirectChildrenThenSearchesDeeper) {
    ShowWindow(parent_, SW_SHOWNOACTIVATE);
    auto make = [](HWND parent, const wchar_t* cls, bool visible) {
        return CreateWindowExW(0, cls, L"", WS_CHILD | (visible ? WS_VISIBLE : 0), 0, 0, 10, 10, parent,
                               nullptr, nullptr, nullptr);
    };
    EXPECT_EQ(nullptr, FindVisibleChildByClass(L"Button", parent_));
    EXPECT_EQ(nullptr, FindVisibleChildByClass(L"Button", nullptr)) << "a null start is not the desktop";

    HWND holder = make(parent_, L"STATIC", true);
    HWND deep1 = make(holder, L"Button", false);
    HWND deep2 = make(holder, L"Button", true);
    EXPECT_EQ(deep2, FindVisibleChildByClass(L"Button", parent_)) << "found below a child";
    ShowWindow(deep2, SW_HIDE);
    // None visible: the last one in Z order.
    HWND lastInZOrder = nullptr;
    for (HWND w = GetWindow(holder, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) lastInZOrder = w;
    EXPECT_TRUE(lastInZOrder == deep1 || lastInZOrder == deep2);
    EXPECT_EQ(lastInZOrder, FindVisibleChildByClass(L"Button", parent_));

    // Direct children come before any deeper one.
    HWND hidden = make(parent_, L"Button", false);
    EXPECT_EQ(hidden, FindVisibleChildByClass(L"Button", parent_));
    HWND visible = make(parent_, L"Button", true);
    EXPECT_EQ(visible, FindVisibleChildByClass(L"Button", parent_));
}

TEST_F(ToolbandWindows, TheRebarIsFoundUnderTheToolbarHostWhenThereIsOne) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"InternetToolbarHost";
    RegisterClassW(&wc);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_COOL_CLASSES};
    InitCommonControlsEx(&icc);

    HWND plainRebar =
        CreateWindowExW(0, REBARCLASSNAMEW, L"", WS_CHILD, 0, 0, 10, 10, parent_, nullptr, nullptr, nullptr);
    EXPECT_EQ(plainRebar, LocateRebar(parent_));
    EXPECT_FALSE(theSettings.TabsAvailable());

    HWND host = CreateWindowExW(0, L"InternetToolbarHost", L"", WS_CHILD, 0, 0, 10, 10, parent_, nullptr,
                                nullptr, nullptr);
    HWND hostRebar =
        CreateWindowExW(0, REBARCLASSNAMEW, L"", WS_CHILD, 0, 0, 10, 10, host, nullptr, nullptr, nullptr);
    EXPECT_EQ(hostRebar, LocateRebar(parent_));
    EXPECT_TRUE(theSettings.TabsAvailable());
}

}  // namespace
}  // namespace tt
