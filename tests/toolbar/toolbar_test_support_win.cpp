#include "toolbar/toolbar_test_support_win.h"

#include <olectl.h>

#include "resources/string_table.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "support/unique_handle_win.h"
#include "support/utf.h"

namespace tt::testing {

void PumpMessages(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void ToolbarWindowTest::SetUp() {
    FreshStateTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    base = u"http://gw.test/cgi-bin/ag.cgi";
    theSettings.Set(u"TavelleUrl", base);
    theSettings.SetTabsAvailable(true);
    // The server is asked with the groupware's cookie, as after a page of it was shown.
    theProcessState.SetGroupwareCookie(theSettings.GetServerUrl(), u"AGSESSID=7");
    frame = CreateWindowExW(0, L"STATIC", L"browser", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 120,
                            nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(frame, nullptr);
    SetForegroundWindow(frame);
    SetActiveWindow(frame);
    ASSERT_EQ(GetActiveWindow(), frame);
    browser = tthost::FakeBrowser::Create(nullptr, frame);
}

void ToolbarWindowTest::CreateToolbar(bool visible) {
    RECT rect{0, 0, 900, 30};
    ASSERT_NE(reflector.Create(frame, rect), nullptr);
    toolbar = std::make_unique<TavelleToolbarCtrl>(services);
    toolbar->SetBrowser(browser.Get());
    ASSERT_NE(toolbar->CreateToolbar(reflector.Handle(), 515), nullptr);
    // The browser's rebar takes the band's window as its child; the toolbar keeps sending its
    // notifications to the reflector it was created under.
    SetParent(toolbar->Handle(), frame);
    SetWindowPos(toolbar->Handle(), nullptr, 0, 0, 900, 26, SWP_NOZORDER);
    if (!visible) ShowWindow(toolbar->Handle(), SW_HIDE);
}

void ToolbarWindowTest::TearDown() {
    toolbar.reset();
    reflector.Destroy();
    if (browser) browser->RunUntilIdle(2000);
    browser.Reset();
    if (frame) DestroyWindow(frame);
    OleUninitialize();
    FreshStateTest::TearDown();
}

void ToolbarWindowTest::Click(UINT id) {
    SendMessageW(reflector.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(toolbar->Handle()));
}

void ToolbarWindowTest::Choose(UINT id) { SendMessageW(toolbar->Handle(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void ToolbarWindowTest::DropDown() {
    NMTOOLBARW nm{};
    nm.hdr.hwndFrom = toolbar->Handle();
    nm.hdr.idFrom = 515;
    nm.hdr.code = TBN_DROPDOWN;
    nm.iItem = kTopPageButton;
    SendMessageW(reflector.Handle(), WM_NOTIFY, 515, reinterpret_cast<LPARAM>(&nm));
}

TBBUTTONINFOW ToolbarWindowTest::ButtonInfo(UINT id, DWORD mask) {
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = mask;
    SendMessageW(toolbar->Handle(), TB_GETBUTTONINFOW, id, reinterpret_cast<LPARAM>(&info));
    return info;
}

std::wstring ToolbarWindowTest::ButtonText(UINT id) {
    // TB_GETBUTTONINFO leaves out texts of the string list; TB_GETBUTTONTEXT reads both kinds.
    const LRESULT length = SendMessageW(toolbar->Handle(), TB_GETBUTTONTEXTW, id, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(toolbar->Handle(), TB_GETBUTTONTEXTW, id, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

RECT ToolbarWindowTest::ButtonRect(UINT id) {
    RECT rect{};
    SendMessageW(toolbar->Handle(), TB_GETRECT, id, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

const tthost::NavigateCall& ToolbarWindowTest::LastNavigation() { return browser->NavigateCalls().back(); }

size_t ToolbarWindowTest::Navigations() { return browser->NavigateCalls().size(); }

std::u16string DigestUrl(const std::u16string& base) { return base + LoadResourceString(2069); }
std::u16string ScheduleUrl(const std::u16string& base) { return base + LoadResourceString(2070); }

std::u16string DigestText(int records) {
    std::u16string text = u"header\r\n";
    for (int i = 1; i < records; ++i) {
        const std::u16string n = Utf8ToUtf16(std::to_string(i));
        text += u"L" + n + u",?page=P" + n + u",T" + n + u"\r\n";
    }
    return text + u"NOERROR\r\n";
}

}  // namespace tt::testing
