// The toolbar as the user sees it: Japanese captions, the search box with Japanese text and the
// new-arrivals drop-down open, captured from the screen. The picture must not be blank and the
// Japanese must be drawn with real glyphs, not the font's empty box. The picture is kept as
// artifacts\toolbar_screenshot.bmp beside the test program.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/threads.h"
#include "support/unique_handle_win.h"
#include "toolbar/dialog_driver_win.h"
#include "toolbar/toolbar_test_support_win.h"

namespace tt {
namespace {

using testing::DigestUrl;
using testing::ScheduleUrl;
using testing::ToolbarWindowTest;

// 32-bit pixels of a screen rectangle, top row first.
struct Picture {
    RECT area{};  // in screen coordinates
    std::vector<DWORD> pixels;
    int Width() const { return area.right - area.left; }
    int Height() const { return area.bottom - area.top; }
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * Width() + x] & 0xFFFFFF; }
};

// Copies the screen through a DIB section, the way a screenshot tool does.
bool CaptureScreen(const RECT& area, Picture* picture) {
    picture->area = area;
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib && memory) {
        HGDIOBJ old = SelectObject(memory, dib);
        ok = BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        picture->pixels.assign(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + w * h);
        SelectObject(memory, old);
    }
    if (dib) DeleteObject(dib);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

// A 24-bit bottom-up BMP, the plainest kind every viewer reads.
bool WriteBmp(const std::wstring& path, const Picture& picture) {
    const int w = picture.Width(), h = picture.Height();
    const int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = w;
    header.biHeight = h;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(stride * h);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + header.biSizeImage;
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return false;
    bool ok = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&header, sizeof(header), 1, out) == 1;
    std::vector<BYTE> row(static_cast<size_t>(stride), 0);
    for (int y = h - 1; ok && y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const DWORD p = picture.At(x, y);
            row[x * 3] = static_cast<BYTE>(p & 0xFF);
            row[x * 3 + 1] = static_cast<BYTE>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<BYTE>((p >> 16) & 0xFF);
        }
        ok = fwrite(row.data(), 1, row.size(), out) == row.size();
    }
    return fclose(out) == 0 && ok;
}

std::wstring ArtifactDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    dir.resize(dir.find_last_of(L"\\/") + 1);
    dir += L"artifacts";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// How a part of the picture looks: its distinct colours and the pixels that differ from its
// most common colour (the background).
struct AreaStats {
    size_t colours = 0;
    size_t ink = 0;
};

AreaStats StatsOf(const Picture& picture, RECT part) {
    OffsetRect(&part, -picture.area.left, -picture.area.top);
    RECT whole{0, 0, picture.Width(), picture.Height()};
    IntersectRect(&part, &part, &whole);
    std::map<DWORD, size_t> counts;
    for (int y = part.top; y < part.bottom; ++y) {
        for (int x = part.left; x < part.right; ++x) ++counts[picture.At(x, y)];
    }
    AreaStats stats;
    stats.colours = counts.size();
    size_t most = 0, all = 0;
    for (const auto& c : counts) {
        most = std::max(most, c.second);
        all += c.second;
    }
    stats.ink = all - most;
    return stats;
}

RECT ScreenRectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

// One character drawn in black on white with the font, as a 1-bit-per-pixel mask.
std::vector<bool> GlyphMask(HFONT font, wchar_t c) {
    const int size = 64;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT all{0, 0, size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    const wchar_t text[2] = {c, 0};
    TextOutW(dc, 4, 4, text, 1);
    std::vector<bool> mask(size * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) mask[y * size + x] = (GetPixel(dc, x, y) & 0xFFFFFF) != 0xFFFFFF;
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return mask;
}

// The characters of text outside ASCII that the font draws as its empty box: each is drawn and
// compared with the drawing of a code point no font has. A drawing without ink counts too.
std::wstring BoxedCharacters(HFONT font, const std::wstring& text) {
    const std::vector<bool> missing = GlyphMask(font, 0x0378);  // unassigned
    std::wstring boxed;
    for (wchar_t c : text) {
        if (c < 0x80 || c == L'\u3000') continue;
        const std::vector<bool> mask = GlyphMask(font, c);
        bool ink = false;
        for (bool b : mask) ink = ink || b;
        if (!ink || mask == missing) boxed += c;
    }
    return boxed;
}

// Characters the font itself (before any linked fallback) has no glyph for.
std::wstring MissingGlyphs(HFONT font, const std::wstring& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    std::vector<WORD> glyphs(text.size());
    std::wstring missing;
    if (GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
        missing = L"<GetGlyphIndicesW failed>";
    } else {
        for (size_t i = 0; i < text.size(); ++i) {
            if (glyphs[i] == 0xFFFF) missing += text[i];
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return missing;
}

std::wstring FaceOf(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    DeleteDC(dc);
    return face;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    out.resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

HFONT MenuFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    return CreateFontIndirectW(&metrics.lfMenuFont);
}

class ToolbarScreenshot : public ToolbarWindowTest {};

TEST_F(ToolbarScreenshot, JapaneseCaptionsSearchBoxAndDigestMenuAreDrawnWithRealGlyphs) {
    services.http.Answer(DigestUrl(base),
                         u"header\r\n山田,?page=P1,会議の資料\r\n佐藤,?page=P2,週報\r\n"
                         u"鈴木,?page=P3,見積書\r\nNOERROR\r\n");
    services.http.Answer(ScheduleUrl(base), u"9,05,朝会\r\nNOERROR\r\n");
    CreateToolbar();
    toolbar->RefreshNextAppointment();
    toolbar->RefreshDigest();
    HWND box = toolbar->SearchBoxWindow();
    ASSERT_NE(box, nullptr);
    const std::wstring query = L"議事録 2026";
    SetWindowTextW(box, query.c_str());
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testing::PumpMessages(200);

    // The drop-down is shown for real; a watcher takes the picture while it is open, then
    // closes it with Escape.
    Picture shot;
    RECT menuRect{};
    std::atomic<bool> captured{false};
    services.show = [&](HMENU menu, int x, int y, HWND owner) {
        const DWORD thread = GetCurrentThreadId();
        JoinableThread watcher([&] {
            HWND popup = nullptr;
            for (int waited = 0; waited < 5000 && !popup; waited += 10) {
                popup = testing::FindThreadWindow(thread, L"#32768");
                if (!popup) Sleep(10);
            }
            if (!popup) return;
            Sleep(300);  // let it paint
            menuRect = ScreenRectOf(popup);
            RECT area = ScreenRectOf(toolbar->Handle());
            UnionRect(&area, &area, &menuRect);
            captured = CaptureScreen(area, &shot);
            for (int i = 0; i < 3 && IsWindowVisible(popup); ++i) {
                PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
                Sleep(100);
            }
            if (IsWindowVisible(popup)) EndMenu();
        });
        ::TrackPopupMenu(menu, 0, x, y, 0, owner, nullptr);
        watcher.Join();
    };
    DropDown();
    ASSERT_TRUE(captured) << "the drop-down did not show or the screen could not be read";
    ASSERT_EQ(services.menus.size(), 1u);
    EXPECT_EQ(services.menus[0].texts,
              (std::vector<std::wstring>{L"山田: 会議の資料", L"佐藤: 週報", L"鈴木: 見積書"}));

    const std::wstring path = ArtifactDirectory() + L"\\toolbar_screenshot.bmp";
    EXPECT_TRUE(WriteBmp(path, shot));
    std::printf("toolbar screenshot: %s\n", Narrow(path).c_str());

    // Not blank: the buttons' pictures bring many colours, and each caption and the search box
    // have ink on their background.
    const RECT toolbarRect = ScreenRectOf(toolbar->Handle());
    EXPECT_GE(StatsOf(shot, toolbarRect).colours, 16u);
    auto buttonOnScreen = [&](UINT id) {
        RECT r = ButtonRect(id);
        MapWindowPoints(toolbar->Handle(), nullptr, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    for (UINT id : {kNewItemMenuButton, kListMenuButton, kAppointmentButton, kTopPageButton}) {
        EXPECT_GE(StatsOf(shot, buttonOnScreen(id)).ink, 20u) << "button " << id;
    }
    COMBOBOXINFO comboInfo{};
    comboInfo.cbSize = sizeof(comboInfo);
    ASSERT_TRUE(GetComboBoxInfo(box, &comboInfo));
    EXPECT_GE(StatsOf(shot, ScreenRectOf(comboInfo.hwndItem)).ink, 30u);
    EXPECT_GE(StatsOf(shot, menuRect).ink, 100u);

    // Japanese in real glyphs: the toolbar's own font for the captions, the search box's font
    // for the query and the menu font for the entries.
    HFONT toolbarFont = reinterpret_cast<HFONT>(SendMessageW(toolbar->Handle(), WM_GETFONT, 0, 0));
    if (!toolbarFont) toolbarFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HFONT boxFont = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
    ASSERT_NE(boxFont, nullptr);
    HFONT menuFont = MenuFont();
    const std::wstring captions =
        ButtonText(kNewItemMenuButton) + ButtonText(kListMenuButton) + ButtonText(kAppointmentButton);
    EXPECT_EQ(captions, L"新規:一覧:9:05 朝会");
    const std::wstring entries = L"山田会議の資料佐藤週報鈴木見積書";
    std::printf("fonts: toolbar \"%s\", search box \"%s\", menu \"%s\"\n",
                Narrow(FaceOf(toolbarFont)).c_str(), Narrow(FaceOf(boxFont)).c_str(),
                Narrow(FaceOf(menuFont)).c_str());
    EXPECT_EQ(BoxedCharacters(toolbarFont, captions), L"");
    EXPECT_EQ(BoxedCharacters(boxFont, query), L"");
    EXPECT_EQ(BoxedCharacters(menuFont, entries), L"");
    EXPECT_EQ(MissingGlyphs(toolbarFont, L"新規一覧朝会"), L"") << "face " << FaceOf(toolbarFont);
    EXPECT_EQ(MissingGlyphs(menuFont, entries), L"") << "face " << FaceOf(menuFont);
    // The box's font is the system's default face; Japanese may come from a linked font there.
    std::printf("search box font lacks (before linking): \"%s\"\n",
                Narrow(MissingGlyphs(boxFont, L"議事録")).c_str());
    DeleteObject(menuFont);
}

}  // namespace
}  // namespace tt
