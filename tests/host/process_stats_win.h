#pragma once
// What the test browser's process holds, for long runs that must not grow: kernel handles, GDI
// and USER objects, committed private memory and threads. Where the platform does not count
// (Wine answers 0 to GetProcessHandleCount and GetGuiResources) the objects are counted here.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

namespace tthost {

struct ProcessStats {
    uint64_t handles = 0;
    uint64_t gdiObjects = 0;
    uint64_t userObjects = 0;  // windows and menus
    uint64_t privateBytes = 0;
    uint64_t threads = 0;
    std::map<std::wstring, uint64_t> handleTypes;  // handles by kind (Event, Key, Thread, ...)
};

ProcessStats MeasureProcess();

}  // namespace tthost
