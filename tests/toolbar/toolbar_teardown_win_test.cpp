// The browser closes the band while a command of its toolbar waits in a modal step (a dialog,
// a message box): the command ends without touching the freed window object, the closed
// browser or the stored history. The window object's memory is poisoned when it is freed, so
// a use after that crashes instead of going unnoticed.
#include <gtest/gtest.h>

#include <cstring>

#include "fakes/fresh_state.h"
#include "host/debug_output_capture_win.h"
#include "host/host_test_support_win.h"
#include "host/host_window_win.h"
#include "settings/process_state.h"
#include "settings/toolbar_settings.h"
#include "toolbar/band_win.h"
#include "toolbar/toolbar_test_support_win.h"

namespace tt::testing {
namespace {

FakeToolbarServices* g_services = nullptr;
TavelleToolbarCtrl* g_made = nullptr;
int g_freed = 0;

class PoisonedToolbarCtrl : public TavelleToolbarCtrl {
public:
    using TavelleToolbarCtrl::TavelleToolbarCtrl;
    // Kept allocated, so that a later use reads the poison rather than reused memory.
    static void operator delete(void* p, std::size_t size) {
        std::memset(p, 0xDD, size);
        ++g_freed;
    }
};

class ToolbarTeardown : public FreshStateTest<tthost::ComTest> {
protected:
    void SetUp() override {
        FreshStateTest::SetUp();
        theSettings.Set(u"TavelleUrl", u"");  // every command asks for the address first
        g_services = &services;
        g_freed = 0;
        SetToolbandCtrlFactory([]() -> std::unique_ptr<CIEToolbandCtrl> {
            auto ctrl = std::make_unique<PoisonedToolbarCtrl>(*g_services);
            g_made = ctrl.get();
            return ctrl;
        });
        baseline = com::ModuleLockCount();
        host = std::make_unique<tthost::HostWindow>();
        ASSERT_EQ(S_OK, CreateTavelleToolbarBand(nullptr, IID_IUnknown,
                                                 reinterpret_cast<void**>(band.GetAddressOf())));
        ASSERT_EQ(S_OK, host->AddBand(band.Get()));
        toolbar = host->Bands()[0].window;
    }
    void TearDown() override {
        CloseBand();
        host.reset();
        SetToolbandCtrlFactory(nullptr);
        FreshStateTest::TearDown();
    }
    // What the browser does when it closes the tab: the band leaves the rebar, loses its site
    // and its last reference.
    void CloseBand() {
        if (host) host->RemoveBands();
        band.Reset();
    }
    void Click(UINT id) {
        SendMessageW(GetParent(toolbar), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(toolbar));
    }
    void ExpectGoneCleanly() {
        EXPECT_FALSE(IsWindow(toolbar));
        EXPECT_EQ(1, g_freed);
        EXPECT_EQ(baseline, com::ModuleLockCount());
        for (const auto& line : output.Lines()) EXPECT_EQ(std::u16string::npos, line.find(u"Exception code"));
    }

    tthost::DebugOutputCapture output;
    FakeToolbarServices services;
    std::unique_ptr<tthost::HostWindow> host;
    tthost::ComPtr<IUnknown> band;
    HWND toolbar = nullptr;
    LONG baseline = 0;
};

TEST_F(ToolbarTeardown, OptionsDialogConfirmedAfterTheBandWasClosedStartsNothing) {
    services.prompts.onOptionsDialog = [this] { CloseBand(); };
    const size_t timers = services.timerStarts.size();
    SendMessageW(toolbar, WM_COMMAND, MAKEWPARAM(219, 0), 0);
    EXPECT_EQ(1u, services.prompts.optionsDialogs.size());
    EXPECT_EQ(timers, services.timerStarts.size()) << "no start-up timer for a closed toolbar";
    ExpectGoneCleanly();
}

TEST_F(ToolbarTeardown, ABandGivenANewSiteDuringADialogKeepsTheOldWindowObjectUntilTheCommandEnds) {
    services.prompts.onOptionsDialog = [this] {
        tthost::ComPtr<IObjectWithSite> withSite;
        ASSERT_EQ(S_OK, band.As(&withSite));
        ASSERT_EQ(S_OK, withSite->SetSite(static_cast<IOleWindow*>(host->Bands()[0].site.Get())));
        EXPECT_FALSE(IsWindow(toolbar)) << "the old site's window goes at once";
        EXPECT_EQ(0, g_freed) << "its object waits for the command";
    };
    SendMessageW(toolbar, WM_COMMAND, MAKEWPARAM(219, 0), 0);
    EXPECT_EQ(1u, services.prompts.optionsDialogs.size());
    CloseBand();
    EXPECT_EQ(2, g_freed);
    EXPECT_EQ(baseline, com::ModuleLockCount());
    for (const auto& line : output.Lines()) EXPECT_EQ(std::u16string::npos, line.find(u"Exception code"));
}

TEST_F(ToolbarTeardown, AddressQuestionAnsweredAfterTheBandWasClosedOpensNothing) {
    services.prompts.answer = kIdYes;  // message 533: set the address now?
    services.prompts.onMessageBox = [this] { CloseBand(); };
    Click(2016);
    EXPECT_EQ(1u, services.prompts.boxes.size());
    EXPECT_TRUE(services.prompts.optionsDialogs.empty());
    EXPECT_TRUE(host->Browser()->NavigateCalls().empty());
    ExpectGoneCleanly();
}

TEST_F(ToolbarTeardown, SearchWhoseWindowWentDuringTheQuestionKeepsTheStoredHistory) {
    services.history.stored = {u"older"};
    SetWindowTextW(g_made->SearchBoxWindow(), L"minutes");
    services.prompts.answer = kIdYes;
    services.prompts.onMessageBox = [this] { DestroyWindow(host->Frame()); };
    Click(2005);
    EXPECT_EQ(1u, services.prompts.boxes.size());
    EXPECT_FALSE(IsWindow(toolbar));
    EXPECT_EQ(std::vector<std::u16string>{u"older"}, services.history.stored)
        << "a dead box reads as an empty list";
    CloseBand();
    EXPECT_EQ(1, g_freed);
}

}  // namespace
}  // namespace tt::testing
