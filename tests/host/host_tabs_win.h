#pragma once
// Tabs of the test browser for long runs: each tab is a browser window of its own on a thread of
// its own, with its own helper object and band, as a tabbed browser runs them.
#include <windows.h>
#include <objbase.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/threads.h"

namespace tthost {

class HostTabs {
public:
    // Makes a new tab's helper object (band false) or band (band true), on the tab's thread.
    using Creator = std::function<HRESULT(bool band, IUnknown** object)>;
    HostTabs(Creator creator, bool systemProxy) : creator_(std::move(creator)), systemProxy_(systemProxy) {}
    ~HostTabs();
    HostTabs(const HostTabs&) = delete;
    HostTabs& operator=(const HostTabs&) = delete;

    // Opens a tab that shows url; its id, or 0 when its window did not come up in time.
    int Open(const std::wstring& url, DWORD timeoutMs = 30000);
    // Closes the tab as the browser does (quit event, bands taken down, window destroyed) and
    // waits for its thread; false when the thread did not end in time.
    bool Close(int id, DWORD timeoutMs = 30000);
    // The tab's browser window and the toolbar window in it (null when unknown or gone).
    HWND Frame(int id) const;
    HWND Toolbar(int id) const;
    std::vector<int> Ids() const;

private:
    struct Tab;
    static DWORD WINAPI Run(void* tab);

    Creator creator_;
    bool systemProxy_;
    mutable tt::CriticalSection lock_;
    std::map<int, std::shared_ptr<Tab>> tabs_;
    int next_ = 1;
};

}  // namespace tthost
