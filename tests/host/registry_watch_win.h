#pragma once
// Reads the toolbar's settings in the registry over and over from a thread of its own, as
// another browser process would, and counts every read that finds them gone or incomplete:
// the Parameters subkey missing, a name seen before missing from it, or the search history
// shorter than it was.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "support/threads.h"

namespace tthost {

class RegistryWatch {
public:
    struct Result {
        uint64_t reads = 0;
        uint64_t keyMissing = 0;     // Parameters could not be opened
        uint64_t namesMissing = 0;   // a read without a name an earlier read had
        uint64_t historyShrunk = 0;  // SearchMRU with fewer values than an earlier read
        std::wstring example;        // the first such read
        size_t names = 0;
        size_t historyEntries = 0;
    };

    explicit RegistryWatch(std::wstring settingsKey) : key_(std::move(settingsKey)) {}
    ~RegistryWatch() { Stop(); }
    RegistryWatch(const RegistryWatch&) = delete;
    RegistryWatch& operator=(const RegistryWatch&) = delete;

    void Start();
    Result Stop();

private:
    static DWORD WINAPI Run(void* self);
    void ReadOnce();

    std::wstring key_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
    tt::CriticalSection lock_;
    Result result_;
    std::set<std::wstring> names_;
    DWORD historyMax_ = 0;
};

}  // namespace tthost
