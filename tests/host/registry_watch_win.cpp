#include "host/registry_watch_win.h"

#include <vector>

namespace tthost {

void RegistryWatch::Start() {
    Stop();
    {
        std::lock_guard<tt::CriticalSection> guard(lock_);
        result_ = Result{};
        names_.clear();
        historyMax_ = 0;
    }
    stop_ = false;
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

RegistryWatch::Result RegistryWatch::Stop() {
    if (thread_) {
        stop_ = true;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    std::lock_guard<tt::CriticalSection> guard(lock_);
    result_.names = names_.size();
    result_.historyEntries = historyMax_;
    return result_;
}

DWORD WINAPI RegistryWatch::Run(void* self) {
    auto* watch = static_cast<RegistryWatch*>(self);
    while (!watch->stop_) {
        watch->ReadOnce();
        Sleep(1);
    }
    return 0;
}

void RegistryWatch::ReadOnce() {
    std::set<std::wstring> seen;
    bool opened = false;
    HKEY params = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (key_ + L"\\Parameters").c_str(), 0, KEY_READ, &params) ==
        ERROR_SUCCESS) {
        opened = true;
        for (DWORD i = 0;; ++i) {
            wchar_t name[16384];
            DWORD length = 16384;
            if (RegEnumValueW(params, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            seen.insert(std::wstring(name, length));
        }
        RegCloseKey(params);
    }
    DWORD history = 0;
    bool historyRead = false;
    HKEY mru = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (key_ + L"\\SearchMRU").c_str(), 0, KEY_READ, &mru) ==
        ERROR_SUCCESS) {
        historyRead = RegQueryInfoKeyW(mru, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &history,
                                       nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(mru);
    }

    std::lock_guard<tt::CriticalSection> guard(lock_);
    ++result_.reads;
    std::wstring problem;
    if (!opened) {
        ++result_.keyMissing;
        problem = L"Parameters missing";
    } else {
        for (const auto& name : names_) {
            if (!seen.count(name)) {
                ++result_.namesMissing;
                problem = L"Parameters without " + name;
                break;
            }
        }
        names_.insert(seen.begin(), seen.end());
    }
    // The history only grows in a run that never deletes it.
    if (historyMax_ && (!historyRead || history < historyMax_)) {
        ++result_.historyShrunk;
        if (problem.empty())
            problem = L"SearchMRU with " + std::to_wstring(history) + L" of " + std::to_wstring(historyMax_) +
                      L" entries";
    }
    if (historyRead && history > historyMax_) historyMax_ = history;
    if (!problem.empty() && result_.example.empty())
        result_.example = problem + L" (read " + std::to_wstring(result_.reads) + L")";
}

}  // namespace tthost
