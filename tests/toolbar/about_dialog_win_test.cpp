// The about box driven through its window: texts, version, icon, layout and the ways it closes.
#include "toolbar/about_dialog_win.h"

#include <gtest/gtest.h>

#include <vector>

#include "resources/resource_ids.h"
#include "toolbar/dialog_driver_win.h"
#include "support/own_module_win.h"

namespace tt {
namespace {

using testing::DriveModal;
using testing::HasStyle;
using testing::ItemText;

struct Control {
    int id;  // -1: a label without an id, found by its text
    const wchar_t* text;
    RECT units;  // x, y, width, height in dialog units
};

// The child of the dialog with that id, or for id -1 the label with that text.
HWND FindControl(HWND dialog, const Control& c) {
    if (c.id != -1) return GetDlgItem(dialog, c.id);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == -1 || GetDlgCtrlID(child) == 0xFFFF) {
            if (testing::WindowText(child) == c.text) return child;
        }
    }
    return nullptr;
}

struct Seen {
    std::wstring caption, version;
    bool bigIcon = false, controlIcon = false, iconCentred = false;
    std::vector<std::wstring> problems;  // controls missing or misplaced
    LONG_PTR style = 0;
    RECT client{}, expectedClient{0, 0, 217, 71};
};

std::wstring Join(const std::vector<std::wstring>& lines) {
    std::wstring all;
    for (const auto& line : lines) all += line + L"; ";
    return all;
}

Seen Inspect(HWND dialog) {
    Seen seen;
    seen.caption = testing::WindowText(dialog);
    seen.version = ItemText(dialog, IDC_ABOUT_VERSION);
    seen.style = GetWindowLongPtrW(dialog, GWL_STYLE);
    seen.bigIcon = SendMessageW(dialog, WM_GETICON, ICON_BIG, 0) != 0;
    HWND icon = GetDlgItem(dialog, IDC_ABOUT_ICON);
    seen.controlIcon = icon && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
    seen.iconCentred = icon && (GetWindowLongPtrW(icon, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                       HasStyle(icon, SS_CENTERIMAGE);
    GetClientRect(dialog, &seen.client);
    MapDialogRect(dialog, &seen.expectedClient);
    const Control controls[] = {
        {IDOK, L"OK", {161, 50, 50, 14}},
        {IDC_ABOUT_ICON, nullptr, {11, 9, 21, 20}},
        {-1, L"Tavelle(R) ツールバー β", {95, 7, 116, 8}},
        {IDC_ABOUT_VERSION, nullptr, {95, 15, 116, 8}},
        {-1, L"Copyright (C) Tavelle. All rights reserved.", {95, 26, 116, 8}},
    };
    for (const Control& c : controls) {
        HWND item = FindControl(dialog, c);
        const std::wstring name = c.text ? c.text : std::to_wstring(c.id);
        if (!item) {
            seen.problems.push_back(name + L": missing");
            continue;
        }
        // As the dialog manager places it: position and size each converted from dialog units
        // (converting the right edge instead can round one pixel apart).
        RECT expected = c.units;
        MapDialogRect(dialog, &expected);
        expected.right += expected.left;
        expected.bottom += expected.top;
        RECT actual{};
        GetWindowRect(item, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        if (!EqualRect(&expected, &actual) && c.id != IDC_ABOUT_ICON)
            seen.problems.push_back(name + L": moved");
        // An icon control may size itself to its picture; its top-left corner stays.
        if (c.id == IDC_ABOUT_ICON && (actual.left != expected.left || actual.top != expected.top)) {
            seen.problems.push_back(name + L": moved");
        }
        if (c.id != IDOK && c.id != IDC_ABOUT_ICON) {
            if ((GetWindowLongPtrW(item, GWL_STYLE) & SS_TYPEMASK) != SS_RIGHT)
                seen.problems.push_back(name + L": not right-aligned");
        }
    }
    HWND ok = GetDlgItem(dialog, IDOK);
    if (!ok || (GetWindowLongPtrW(ok, GWL_STYLE) & BS_TYPEMASK) != BS_DEFPUSHBUTTON) {
        seen.problems.push_back(L"OK: not the default button");
    }
    return seen;
}

TEST(AboutDialogWin, ShowsTheModulesProductVersionTheIconAndTheTextsInPlace) {
    Seen seen;
    bool shown = false;
    CAboutDlg about;  // reads this program's own version resource
    const INT_PTR result = DriveModal(
        [&](HWND dialog) {
            seen = Inspect(dialog);
            testing::Click(dialog, IDOK);
        },
        [&] { return about.DoModal(nullptr); }, &shown);
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seen.caption, L"Tavelle ツールバーについて");
    EXPECT_EQ(seen.version, L"Version 0.1.1");
    EXPECT_TRUE(seen.bigIcon);
    EXPECT_TRUE(seen.controlIcon);
    EXPECT_TRUE(seen.iconCentred);
    EXPECT_TRUE(seen.problems.empty()) << Join(seen.problems);
    const DWORD styles[] = {WS_POPUP, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME};
    for (DWORD style : styles) {
        EXPECT_EQ(static_cast<DWORD>(seen.style) & style, style) << std::hex << style;
    }
    // 217 by 71 dialog units of client area.
    EXPECT_EQ(seen.client.right, seen.expectedClient.right);
    EXPECT_EQ(seen.client.bottom, seen.expectedClient.bottom);
}

TEST(AboutDialogWin, AModuleWithoutAVersionResourceShowsVersionAlone) {
    std::wstring version;
    std::vector<std::u16string> asked;
    bool shown = false;
    // What the version reader gives for a module without a version resource: nothing.
    CAboutDlg about([&](const std::u16string& name) {
        asked.push_back(name);
        return std::u16string();
    });
    const INT_PTR result = DriveModal(
        [&](HWND dialog) {
            version = ItemText(dialog, IDC_ABOUT_VERSION);
            testing::Click(dialog, IDOK);
        },
        [&] { return about.DoModal(nullptr); }, &shown);
    ASSERT_TRUE(shown);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(version, L"Version ");
    EXPECT_EQ(asked, std::vector<std::u16string>{u"ProductVersion"});
}

TEST(AboutDialogWin, EnterClosesWithOkEscapeTheCloseBoxAndCancelWithCancel) {
    struct Way {
        const char* name;
        void (*close)(HWND dialog);
        INT_PTR expected;
    };
    const Way ways[] = {
        {"Enter", [](HWND d) { PostMessageW(GetDlgItem(d, IDOK), WM_KEYDOWN, VK_RETURN, 1); }, IDOK},
        {"Escape", [](HWND d) { PostMessageW(GetDlgItem(d, IDOK), WM_KEYDOWN, VK_ESCAPE, 1); }, IDCANCEL},
        {"close box", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
        {"Cancel", [](HWND d) { PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); },
         IDCANCEL},
        {"OK", [](HWND d) { testing::Click(d, IDOK); }, IDOK},
    };
    for (const Way& way : ways) {
        bool shown = false;
        CAboutDlg about([](const std::u16string&) { return std::u16string(u"0.1.1"); });
        // A way that leaves the dialog open ends in the driver's Cancel 5 s later: Enter and OK then fail.
        const INT_PTR result = DriveModal([&](HWND dialog) { way.close(dialog); },
                                          [&] { return about.DoModal(nullptr); }, &shown);
        ASSERT_TRUE(shown) << way.name;
        EXPECT_EQ(result, way.expected) << way.name;
    }
}

TEST(AboutDialogWin, TheMenuItemOpensItOverTheActiveWindow) {
    HWND frame = CreateWindowExW(0, L"STATIC", L"browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 200,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(frame, nullptr);
    SetForegroundWindow(frame);
    SetActiveWindow(frame);
    HWND owner = nullptr;
    std::wstring version;
    bool shown = false;
    DriveModal(
        [&](HWND dialog) {
            owner = GetWindow(dialog, GW_OWNER);
            version = ItemText(dialog, IDC_ABOUT_VERSION);
            testing::Click(dialog, IDOK);
        },
        [] {
            ShowAboutDialog();
            return INT_PTR{0};
        },
        &shown);
    DestroyWindow(frame);
    ASSERT_TRUE(shown);
    EXPECT_EQ(owner, frame);
    EXPECT_EQ(version, L"Version 0.1.1");
}

TEST(AboutDialogWin, TheIconGroupHoldsThePicturesOfEverySize) {
    HINSTANCE module = OwnModule();
    HRSRC group =
        FindResourceW(module, MAKEINTRESOURCEW(IDI_PRODUCT), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
    ASSERT_NE(group, nullptr);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_NE(bytes, nullptr);
    const DWORD size = SizeofResource(module, group);
    ASSERT_GE(size, 6u);
    const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
    ASSERT_GE(size, 6u + 14u * count);
    std::vector<std::pair<int, int>> pictures;  // size, bits per pixel
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = bytes + 6 + 14 * i;
        const int width = entry[0] ? entry[0] : 256;
        const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
        pictures.push_back({width, bits});
    }
    EXPECT_EQ(pictures, (std::vector<std::pair<int, int>>{{16, 8}, {20, 8}, {32, 8}, {70, 8}, {70, 32}}));
    // The large icon the dialog loads.
    EXPECT_NE(LoadIconW(module, MAKEINTRESOURCEW(IDI_PRODUCT)), nullptr);
}

}  // namespace
}  // namespace tt
