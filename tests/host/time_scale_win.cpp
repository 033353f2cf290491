#include "host/time_scale_win.h"

#include <atomic>
#include <cstring>

namespace tthost {
namespace {

std::atomic<unsigned> g_factor{1};
ULONGLONG g_startTicks = 0;  // GetTickCount64 at the patch
FILETIME g_startTime = {};   // UTC at the patch

ULONGLONG FromFiletime(const FILETIME& f) {
    return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

UINT_PTR WINAPI FasterSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc) {
    return SetTimer(window, id, period / g_factor.load(), proc);
}

void WINAPI FasterGetLocalTime(SYSTEMTIME* out) { *out = SimulatedLocalTime(); }

bool Patch(HMODULE module, const char* library, const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return false;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name;
         ++imp) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + imp->Name), library) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD old = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old))
                return false;
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}

}  // namespace

bool RunModuleFaster(HMODULE module, unsigned factor) {
    if (factor < 1) factor = 1;
    g_startTicks = GetTickCount64();
    GetSystemTimeAsFileTime(&g_startTime);
    g_factor = factor;
    const bool timers = Patch(module, "user32.dll", "SetTimer", reinterpret_cast<void*>(&FasterSetTimer));
    const bool clock =
        Patch(module, "kernel32.dll", "GetLocalTime", reinterpret_cast<void*>(&FasterGetLocalTime));
    return timers || clock;
}

SYSTEMTIME SimulatedLocalTime() {
    SYSTEMTIME local = {};
    if (g_factor.load() == 1) {
        GetLocalTime(&local);
        return local;
    }
    // 100-ns units: real milliseconds since the patch, times the factor.
    const ULONGLONG elapsed = (GetTickCount64() - g_startTicks) * 10000ull * g_factor.load();
    const ULONGLONG now = FromFiletime(g_startTime) + elapsed;
    FILETIME utc = {static_cast<DWORD>(now), static_cast<DWORD>(now >> 32)};
    FILETIME localFile = {};
    FileTimeToLocalFileTime(&utc, &localFile);
    FileTimeToSystemTime(&localFile, &local);
    return local;
}

double SimulatedHours() {
    return static_cast<double>(GetTickCount64() - g_startTicks) * g_factor.load() / 3600000.0;
}

}  // namespace tthost
