#pragma once
// The hands of a scripted session: a thread of the host program that takes one command per
// line from a loopback TCP connection, acts on the program's windows the way a user does
// (clicks on toolbar buttons, menu choices with the keyboard, typing, answers to dialogs),
// reads back what is on the screen, in the browser and in the current user's registry, and
// answers every command with one line of JSON (driver_protocol.h). The script and its checks
// live at the other end of the connection (tools/demo_session.py).
//
// Commands (fields separated by tabs):
//   hello                         the process and its frame window
//   windows                       visible top-level windows of the process, with the controls
//                                 of dialogs and the items of open pop-up menus
//   toolbar                       the toolbar window, its buttons and its search box
//   click <id> [arrow]            a left click on a toolbar button (or on its drop-down arrow)
//   menu <id>                     chooses an item of the open pop-up menu with the keyboard
//   menu-close                    Esc on the open pop-up menu
//   set-text <hwnd> <id> <text>   replaces the text of a dialog control
//   press <hwnd> <id>             clicks a dialog button (also check boxes)
//   type <text> [replace]         clicks into the search box and types (replace: selects
//                                 everything first)
//   browser                       address, title and records of the test browser
//   navigate <url>                the user enters an address
//   reg <subkey>                  values and subkeys of a key of the current user
//   close                         closes the browser window
// For long runs:
//   activate                      brings the browser window to the front, active
//   tab-open <url>                a new tab (a window on a thread of its own with its own helper
//                                 object and band); its id
//   tab-command <tab> <id>        a menu command for the toolbar of that tab (posted: a dialog it
//                                 opens stays open)
//   tab-close <tab>               closes the tab as the browser does and waits for its thread
//   stats                         handles, GDI and USER objects, private memory, threads, tabs
//                                 and the toolbar module's clock
//   watch-start <key>             starts reading the settings under that key of the current user
//                                 over and over (registry_watch_win.h)
//   watch-stop                    stops that and reports what the reads found
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tthost {

class HostTabs;
class HostWindow;
class JsonWriter;
class RegistryWatch;

class DemoDriver {
public:
    // Created on the host's thread after its window exists; connects to 127.0.0.1:port.
    DemoDriver(HostWindow& host, unsigned short port);
    ~DemoDriver();
    DemoDriver(const DemoDriver&) = delete;
    // The tabs the tab commands open (none: they fail).
    void SetTabs(HostTabs* tabs) { tabs_ = tabs; }
    DemoDriver& operator=(const DemoDriver&) = delete;

    // Runs fn on the host's thread (between its messages, also inside modal loops) and waits
    // for it; false when the thread did not get to it in time.
    bool OnHostThread(std::function<void()> fn, DWORD timeoutMs = 20000);
    // Waits until the host's thread has handled every message posted before this call.
    bool Fence(DWORD timeoutMs = 20000);

private:
    static LRESULT CALLBACK TaskWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI ThreadMain(void* self);
    // Posts a task to the host's thread and waits until it is done there.
    bool PostAndWait(UINT message, std::function<void()> fn, DWORD timeoutMs);
    void Serve();

    // A command and its fields. Each command writes its answer's fields after "ok"; what it
    // returns, when not empty, is the failure to answer instead.
    using Command = std::vector<std::u16string>;
    std::string Execute(const Command& command);
    std::string Hello(const Command& command, JsonWriter& w);
    std::string Windows(const Command& command, JsonWriter& w);
    std::string Toolbar(const Command& command, JsonWriter& w);
    std::string Click(const Command& command, JsonWriter& w);
    std::string ChooseMenuItem(const Command& command, JsonWriter& w);
    std::string CloseMenu(const Command& command, JsonWriter& w);
    std::string SetText(const Command& command, JsonWriter& w);
    std::string Press(const Command& command, JsonWriter& w);
    std::string Type(const Command& command, JsonWriter& w);
    std::string BrowserRecords(const Command& command, JsonWriter& w);
    std::string Navigate(const Command& command, JsonWriter& w);
    std::string Registry(const Command& command, JsonWriter& w);
    std::string Close(const Command& command, JsonWriter& w);
    std::string Activate(const Command& command, JsonWriter& w);
    std::string TabOpen(const Command& command, JsonWriter& w);
    std::string TabCommand(const Command& command, JsonWriter& w);
    std::string TabClose(const Command& command, JsonWriter& w);
    std::string Stats(const Command& command, JsonWriter& w);
    std::string WatchStart(const Command& command, JsonWriter& w);
    std::string WatchStop(const Command& command, JsonWriter& w);

    HostWindow& host_;
    HostTabs* tabs_ = nullptr;
    std::unique_ptr<RegistryWatch> watch_;
    HWND frame_;
    HWND tasks_ = nullptr;
    unsigned short port_;
    std::atomic<uintptr_t> socket_;
    std::atomic<bool> stopping_{false};
    HANDLE thread_ = nullptr;
};

}  // namespace tthost
