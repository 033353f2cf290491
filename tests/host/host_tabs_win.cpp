#include "host/host_tabs_win.h"

#include <objbase.h>

#include "host/browser_work_queue_win.h"
#include "host/host_session_win.h"
#include "host/host_window_win.h"

namespace tthost {

struct HostTabs::Tab {
    HostTabs* owner = nullptr;
    std::wstring url;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    HWND frame = nullptr;
    HWND toolbar = nullptr;
    ~Tab() {
        if (ready) CloseHandle(ready);
        if (thread) CloseHandle(thread);
    }
};

HostTabs::~HostTabs() {
    for (int id : Ids()) Close(id, 10000);
}

DWORD WINAPI HostTabs::Run(void* param) {
    // The tab's record is shared with the owner; this thread keeps its own reference.
    std::shared_ptr<Tab> tab = *static_cast<std::shared_ptr<Tab>*>(param);
    delete static_cast<std::shared_ptr<Tab>*>(param);
    OleInitialize(nullptr);
    {
        auto session = std::make_shared<HostSession>();
        session->UseSystemProxy(tab->owner->systemProxy_);
        HostWindowOptions options;
        options.visible = true;
        options.title = L"Tavelle test host tab";
        HostWindow host(options, session);
        ComPtr<IUnknown> bho;
        ComPtr<IObjectWithSite> bhoSite;
        if (SUCCEEDED(tab->owner->creator_(false, bho.GetAddressOf())) && SUCCEEDED(bho.As(&bhoSite)))
            bhoSite->SetSite(static_cast<IWebBrowser2*>(host.Browser()));
        ComPtr<IUnknown> band;
        if (SUCCEEDED(tab->owner->creator_(true, band.GetAddressOf()))) host.AddBand(band.Get());
        band.Reset();
        tab->frame = host.Frame();
        tab->toolbar = host.Bands().empty() ? nullptr : host.Bands()[0].window;
        SetEvent(tab->ready);
        if (!tab->url.empty()) host.Browser()->UserNavigate(tab->url);
        // Ends when the window goes (its WM_DESTROY posts the quit).
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (host.TranslateBandAccelerator(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (bhoSite) bhoSite->SetSite(nullptr);
    }
    BrowserWorkQueue::EndThread();
    OleUninitialize();
    return 0;
}

int HostTabs::Open(const std::wstring& url, DWORD timeoutMs) {
    auto tab = std::make_shared<Tab>();
    tab->owner = this;
    tab->url = url;
    auto* param = new std::shared_ptr<Tab>(tab);
    tab->thread = CreateThread(nullptr, 0, Run, param, 0, nullptr);
    if (!tab->thread) {
        delete param;
        return 0;
    }
    const bool up = WaitForSingleObject(tab->ready, timeoutMs) == WAIT_OBJECT_0;
    std::lock_guard<tt::CriticalSection> guard(lock_);
    const int id = next_++;
    tabs_[id] = tab;
    return up ? id : 0;
}

bool HostTabs::Close(int id, DWORD timeoutMs) {
    std::shared_ptr<Tab> tab;
    {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        auto it = tabs_.find(id);
        if (it == tabs_.end()) return false;
        tab = it->second;
    }
    if (tab->frame) PostMessageW(tab->frame, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(tab->thread, timeoutMs) != WAIT_OBJECT_0) return false;
    std::lock_guard<tt::CriticalSection> guard(lock_);
    tabs_.erase(id);
    return true;
}

HWND HostTabs::Frame(int id) const {
    std::lock_guard<tt::CriticalSection> guard(lock_);
    auto it = tabs_.find(id);
    return it == tabs_.end() ? nullptr : it->second->frame;
}

HWND HostTabs::Toolbar(int id) const {
    std::lock_guard<tt::CriticalSection> guard(lock_);
    auto it = tabs_.find(id);
    return it == tabs_.end() ? nullptr : it->second->toolbar;
}

std::vector<int> HostTabs::Ids() const {
    std::lock_guard<tt::CriticalSection> guard(lock_);
    std::vector<int> ids;
    for (const auto& t : tabs_) ids.push_back(t.first);
    return ids;
}

}  // namespace tthost
