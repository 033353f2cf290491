#include "toolbar/search_box_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "fakes/search_box.h"
#include "resources/string_table.h"

namespace tt {
namespace {

using testing::FakeHistoryStore;
using testing::FakeSearchHost;

// A top-level window holding a common-controls toolbar with buttons 2001 to 2004, whose
// window procedure passes the search box's notifications on as the toolbar window does.
class ToolbarFixture : public ::testing::Test {
protected:
    HWND frame = nullptr;
    HWND toolbar = nullptr;
    HFONT font = nullptr;
    CSearchBoxWindow box;
    FakeHistoryStore store;
    FakeSearchHost host;
    CSearchBox search{box, store, host, PlatformCodePageConverter()};

    static ToolbarFixture* current;
    static WNDPROC toolbarProc;

    static LRESULT CALLBACK Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND && current && reinterpret_cast<HWND>(lParam) == current->box.Handle()) {
            if (HIWORD(wParam) == CBN_EDITUPDATE) current->search.OnEditUpdate();
            if (HIWORD(wParam) == CBN_SETFOCUS) current->search.OnSetFocus();
            return 0;
        }
        return CallWindowProcW(toolbarProc, window, message, wParam, lParam);
    }

    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        frame = CreateWindowExW(0, L"STATIC", L"frame", WS_POPUP | WS_VISIBLE, 0, 0, 900, 80, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(frame, nullptr);
        toolbar = CreateWindowExW(
            0, TOOLBARCLASSNAMEW, nullptr,
            WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NODIVIDER | CCS_NORESIZE, 0, 0, 900, 40,
            frame, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(toolbar, nullptr);
        SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        TBBUTTON buttons[4] = {};
        for (int i = 0; i < 4; ++i) {
            buttons[i].iBitmap = I_IMAGENONE;
            buttons[i].idCommand = 2001 + i;
            buttons[i].fsState = TBSTATE_ENABLED;
            buttons[i].fsStyle = BTNS_BUTTON;
        }
        SendMessageW(toolbar, TB_ADDBUTTONSW, 4, reinterpret_cast<LPARAM>(buttons));
        current = this;
        toolbarProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(toolbar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ToolbarFixture::Route)));
        ASSERT_TRUE(box.Create(toolbar, &font));
    }

    void TearDown() override {
        current = nullptr;
        if (frame) DestroyWindow(frame);
        if (font) DeleteObject(font);
    }

    HWND Edit() const {
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        SendMessageW(box.Handle(), CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info));
        return info.hwndItem;
    }
    RECT SlotRect() const {
        RECT r{};
        const LRESULT index = SendMessageW(toolbar, TB_COMMANDTOINDEX, 2003, 0);
        SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
        return r;
    }
    RECT BoxRectInToolbar() const {
        RECT r{};
        GetWindowRect(box.Handle(), &r);
        MapWindowPoints(nullptr, toolbar, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    void TypeChars(const std::wstring& text) {
        for (wchar_t c : text) SendMessageW(Edit(), WM_CHAR, c, 1);
    }
    std::vector<std::u16string> Items() const {
        std::vector<std::u16string> items;
        for (int i = 0; i < box.Count(); ++i) items.push_back(box.Item(i));
        return items;
    }
};

ToolbarFixture* ToolbarFixture::current = nullptr;
WNDPROC ToolbarFixture::toolbarProc = nullptr;

using SearchBoxWin = ToolbarFixture;

TEST_F(SearchBoxWin, IsAnEditableUnsortedComboBoxOnTheSlotButton) {
    wchar_t className[32] = {};
    GetClassNameW(box.Handle(), className, 32);
    EXPECT_EQ(lstrcmpiW(className, L"ComboBox"), 0);
    const LONG_PTR style = GetWindowLongPtrW(box.Handle(), GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | CBS_AUTOHSCROLL), WS_CHILD | WS_VISIBLE | CBS_AUTOHSCROLL);
    EXPECT_EQ(style & 3, CBS_DROPDOWN);
    EXPECT_EQ(style & CBS_SORT, 0);
    EXPECT_EQ(GetDlgCtrlID(box.Handle()), 0);
    EXPECT_EQ(GetParent(box.Handle()), toolbar);

    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_SIZE | TBIF_STYLE;
    SendMessageW(toolbar, TB_GETBUTTONINFOW, 2003, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.fsStyle & BTNS_SEP, BTNS_SEP);
    EXPECT_EQ(info.cx, 180);
    const RECT slot = SlotRect(), placed = BoxRectInToolbar();
    EXPECT_EQ(placed.left, slot.left);
    EXPECT_EQ(placed.top, slot.top);
    EXPECT_EQ(placed.right - placed.left, 180);

    // The toolbar's font, made here because it had none: 14 pixels high.
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(box.Handle(), WM_GETFONT, 0, 0)), font);
    LOGFONTW lf{};
    GetObjectW(font, sizeof(lf), &lf);
    EXPECT_EQ(lf.lfHeight, -14);
    EXPECT_EQ(lf.lfFaceName[0], L'\0');

    // At most 2048 characters can be typed.
    EXPECT_EQ(SendMessageW(Edit(), EM_GETLIMITTEXT, 0, 0), 2048);
    SetWindowTextW(box.Handle(), std::wstring(2046, L'x').c_str());
    SendMessageW(box.Handle(), CB_SETEDITSEL, 0, MAKELPARAM(2046, 2046));
    TypeChars(L"yyyy");
    EXPECT_EQ(box.Text().size(), 2048u);
}

TEST_F(SearchBoxWin, ASecondBoxOnTheSameToolbarKeepsItsFont) {
    HFONT before = font;
    CSearchBoxWindow second;
    ASSERT_TRUE(second.Create(toolbar, &font));
    EXPECT_EQ(font, before);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(second.Handle(), WM_GETFONT, 0, 0)), before);
}

TEST_F(SearchBoxWin, FollowsTheSlotWhenTheTopPageButtonWidens) {
    const LONG leftBefore = BoxRectInToolbar().left;
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_SIZE;
    info.cx = 120;
    SendMessageW(toolbar, TB_SETBUTTONINFOW, 2002, reinterpret_cast<LPARAM>(&info));
    box.FitToSlot();
    EXPECT_EQ(BoxRectInToolbar().left, SlotRect().left);
    EXPECT_GT(BoxRectInToolbar().left, leftBefore);
}

TEST_F(SearchBoxWin, TheDroppedListShowsSeveralEntries) {
    for (const auto* t : {u"one", u"two", u"three", u"four", u"five"}) box.Append(t);
    SendMessageW(box.Handle(), CB_SHOWDROPDOWN, TRUE, 0);
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    SendMessageW(box.Handle(), CB_GETCOMBOBOXINFO, 0, reinterpret_cast<LPARAM>(&info));
    RECT list{};
    GetWindowRect(info.hwndList, &list);
    const LRESULT itemHeight = SendMessageW(box.Handle(), CB_GETITEMHEIGHT, 0, 0);
    SendMessageW(box.Handle(), CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_GE(list.bottom - list.top, 5 * itemHeight);
}

TEST_F(SearchBoxWin, TheListSearchesInTheOrderOfTheCoreRules) {
    // Equal entries at the top and further down: both searches start at the second item.
    for (const auto* t : {u"dup", u"x", u"DUP", u"Apple", u"apricot"}) box.Append(t);
    for (int start : {-1, 0, 1, 2, 4}) {
        EXPECT_EQ(box.FindExact(start, u"Dup"), box.IHistoryList::FindExact(start, u"Dup")) << start;
        EXPECT_EQ(box.FindPrefix(start, u"AP"), box.IHistoryList::FindPrefix(start, u"AP")) << start;
    }
    EXPECT_EQ(box.FindExact(0, u"Dup"), 2);
    EXPECT_EQ(box.FindExact(0, u"none"), -1);
    EXPECT_EQ(box.FindExact(0, u"\uff21pple"), -1);
}

TEST_F(SearchBoxWin, AddingMovesAnEqualEntryToTheTopAndTrimsAtThirtyTwo) {
    for (const auto* t : {u"apple", u"Banana", u"cherry"}) box.Append(t);
    search.AddToHistory(u"BANANA");
    EXPECT_EQ(Items(), (std::vector<std::u16string>{u"BANANA", u"apple", u"cherry"}));
    EXPECT_EQ(store.stored, Items());

    search.AddToHistory(u"");
    EXPECT_EQ(Items().front(), u"");
    EXPECT_EQ(store.stored, (std::vector<std::u16string>{u"BANANA", u"apple", u"cherry"}));

    box.Reset();
    for (int i = 0; i < 32; ++i) box.Append(u"q" + Utf8ToUtf16(std::to_string(i)));
    search.AddToHistory(u"new");
    ASSERT_EQ(box.Count(), 32);
    EXPECT_EQ(box.Item(0), u"new");
    EXPECT_EQ(box.Item(31), u"q30");
    EXPECT_EQ(store.stored.size(), 32u);
}

TEST_F(SearchBoxWin, GainingTheFocusReloadsTheHistoryAndEmptiesTheField) {
    box.Append(u"stale");
    SetWindowTextW(box.Handle(), L"typed");
    store.stored = {u"newest", u"older"};
    SetFocus(Edit());
    EXPECT_EQ(Items(), store.stored);
    EXPECT_EQ(box.Text(), u"");
    EXPECT_TRUE(box.IsPartOfBox(GetFocus()));
    EXPECT_FALSE(box.IsPartOfBox(toolbar));
}

TEST_F(SearchBoxWin, TypingCompletesFromTheHistoryAndBackspaceDoesNotCompleteAgain) {
    box.Append(u"Apple");
    box.Append(u"apricot");
    TypeChars(L"a");
    TypeChars(L"p");
    EXPECT_EQ(box.Text(), u"Apple");
    ASSERT_TRUE(box.Selection());
    EXPECT_EQ(box.Selection()->start, 2);
    EXPECT_EQ(box.Selection()->end, 5);

    // Backspace as the toolbar passes it on: completion held off while the key is down.
    search.SetAutoCompleteSuppressed(true);
    SendMessageW(Edit(), WM_KEYDOWN, VK_BACK, 1);
    SendMessageW(Edit(), WM_CHAR, VK_BACK, 1);
    search.SetAutoCompleteSuppressed(false);
    SendMessageW(Edit(), WM_KEYUP, VK_BACK, 0xC0000001);
    EXPECT_EQ(box.Text(), u"Ap");

    // Typing on completes again, with the caret inside the text leaving the selection alone.
    TypeChars(L"r");
    EXPECT_EQ(box.Text(), u"apricot");
    EXPECT_EQ(box.Selection()->start, 3);
    SetWindowTextW(box.Handle(), L"xy");
    SendMessageW(box.Handle(), CB_SETEDITSEL, 0, MAKELPARAM(1, 1));
    TypeChars(L"z");
    EXPECT_EQ(box.Text(), u"xzy");
    EXPECT_EQ(box.Selection()->start, 2);
    EXPECT_EQ(box.Selection()->end, 2);
}

std::u16string WebSearchUrl(const std::u16string& escaped) {
    return FillTemplate(LoadResourceString(kWebSearchTemplate), {escaped});
}

TEST_F(SearchBoxWin, SearchesEscapeTheQueryInTheirCodePages) {
    ASSERT_EQ(GetACP(), 932u) << "the Windows tests run with LANG=ja_JP.UTF-8";
    const struct {
        const wchar_t* text;
        std::u16string query;
    } web[] = {
        {L"a b&c", u"a%20b%26c"}, {L"100%", u"100%"}, {L"\u3042", u"%e3%81%82"},
        {L"/:~", u"/:~"},         {L"1+1", u"1%2b1"},
    };
    for (const auto& c : web) {
        SetWindowTextW(box.Handle(), c.text);
        search.SearchWeb();
        ASSERT_FALSE(host.navigations.empty());
        EXPECT_EQ(host.navigations.back().url, WebSearchUrl(c.query));
    }
    SetWindowTextW(box.Handle(), L"\u3042");
    EXPECT_TRUE(search.SearchOrOpenIndex(2052, 2063));
    EXPECT_EQ(host.navigations.back().url, host.serverUrl + u"?page=BulletinSimpleSearch&cp=bw&Text=%82%a0");
    // A character code page 932 lacks (with no close match) becomes its replacement character.
    SetWindowTextW(box.Handle(), L"\u0e01");
    EXPECT_TRUE(search.SearchOrOpenIndex(2055, 2073));
    EXPECT_EQ(host.navigations.back().url, host.serverUrl + u"?page=FileSimpleSearch&cp=fl&Text=%3f");
    EXPECT_EQ(Items().front(), u"\u0e01");
}

TEST_F(SearchBoxWin, BulletinSearchWithAndWithoutText) {
    SetWindowTextW(box.Handle(), L"x");
    EXPECT_TRUE(search.SearchOrOpenIndex(2052, 2063));
    ASSERT_EQ(host.navigations.size(), 1u);
    EXPECT_EQ(host.navigations[0].url, host.serverUrl + u"?page=BulletinSimpleSearch&cp=bw&Text=x");
    EXPECT_EQ(box.Item(0), u"x");

    SetWindowTextW(box.Handle(), L"");
    EXPECT_FALSE(search.SearchOrOpenIndex(2052, 2063));
    EXPECT_EQ(host.pagesOpened, (std::vector<unsigned>{2063}));
    EXPECT_EQ(host.navigations.size(), 1u);
}

}  // namespace
}  // namespace tt
