#pragma once
// A toolbar window under test: TavelleToolbarCtrl created under a reflector in a top-level
// window, on the test browser, with services that record what the toolbar asks of them
// (fakes/toolbar_services_win.h).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>

#include "fakes/fresh_state.h"
#include "fakes/toolbar_services_win.h"
#include "host/fake_browser_win.h"
#include "toolbar/tavelle_toolbar_ctrl_win.h"

namespace tt::testing {

// Lets posted messages and real timers run for a while on this thread.
void PumpMessages(DWORD milliseconds);
// Pumps until the condition holds or the time is up; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);

class ToolbarWindowTest : public FreshStateTest<> {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the toolbar (the test may prepare settings and state first).
    void CreateToolbar(bool visible = true);

    // The way a click arrives: the toolbar's WM_COMMAND to its parent, reflected back.
    void Click(UINT id);
    // A menu choice as TrackPopupMenu delivers it.
    void Choose(UINT id);
    void DropDown();  // the arrow of button 2002

    TBBUTTONINFOW ButtonInfo(UINT id, DWORD mask);
    std::wstring ButtonText(UINT id);
    RECT ButtonRect(UINT id);
    const tthost::NavigateCall& LastNavigation();
    size_t Navigations();

    std::u16string base;
    FakeToolbarServices services;
    HWND frame = nullptr;
    tthost::ComPtr<tthost::FakeBrowser> browser;
    CToolBarReflectorCtrl reflector;
    std::unique_ptr<TavelleToolbarCtrl> toolbar;
};

// The page answers of the two list pages.
std::u16string DigestUrl(const std::u16string& base);
std::u16string ScheduleUrl(const std::u16string& base);
// A digest page of n records: a header and entries "Ln,?page=Pn,Tn".
std::u16string DigestText(int records);

}  // namespace tt::testing
