#include "host/process_stats_win.h"

#include <tlhelp32.h>
#include <winternl.h>

namespace tthost {
namespace {

// Handles are multiples of 4; a process of this size stays far below this.
constexpr ULONG_PTR kHandleProbeEnd = 0x20000;
// USER handles carry their index in the low word.
constexpr ULONG_PTR kUserIndexEnd = 0x10000;

// The process's handles, counted by their kind so that a growing one shows what grows.
uint64_t CountHandles(std::map<std::wstring, uint64_t>* types) {
    uint64_t found = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < kHandleProbeEnd; value += 4) {
        HANDLE h = reinterpret_cast<HANDLE>(value);
        if (!GetHandleInformation(h, &flags)) continue;
        ++found;
        alignas(8) BYTE buffer[512];
        ULONG length = 0;
        if (NtQueryObject(h, ObjectTypeInformation, buffer, sizeof buffer, &length) == 0) {
            const auto* type = reinterpret_cast<const PUBLIC_OBJECT_TYPE_INFORMATION*>(buffer);
            ++(*types)[std::wstring(type->TypeName.Buffer, type->TypeName.Length / sizeof(wchar_t))];
        } else {
            ++(*types)[L"?"];
        }
    }
    return found;
}

// The process's GDI handle table, which the PEB points at: entries of 24 bytes whose type byte
// is zero when the entry is free (Wine's layout; Windows counts through GetGuiResources).
uint64_t CountGdiObjects() {
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
    struct Entry {
        uint64_t object;
        uint16_t owner, count, unique;
        uint8_t type, flags;
        uint64_t user;
    };
    static_assert(sizeof(Entry) == 24, "a GDI handle entry");
#ifdef _WIN64
    constexpr size_t kTableOffset = 0xF8;
#else
    constexpr size_t kTableOffset = 0x94;
#endif
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"  // the segment read behind NtCurrentTeb
    const auto* peb = reinterpret_cast<const uint8_t*>(NtCurrentTeb()->ProcessEnvironmentBlock);
#pragma GCC diagnostic pop
    const auto* table = *reinterpret_cast<const Entry* const*>(peb + kTableOffset);
    if (!table) return 0;
    uint64_t found = 0;
    for (size_t i = 0; i < 0x10000; ++i)
        if (table[i].type) ++found;
    return found;
}

uint64_t CountUserObjects() {
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return n;
    const DWORD self = GetCurrentProcessId();
    uint64_t found = 0;
    for (ULONG_PTR index = 0x20; index < kUserIndexEnd; index += 2) {
        HWND window = reinterpret_cast<HWND>(index);
        DWORD pid = 0;
        if (IsWindow(window)) {
            GetWindowThreadProcessId(window, &pid);
            if (pid == self) ++found;
        } else if (IsMenu(reinterpret_cast<HMENU>(index))) {
            ++found;
        }
    }
    return found;
}

uint64_t CommittedPrivateBytes() {
    uint64_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const uint8_t* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
         at = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        if (info.RegionSize == 0) break;
    }
    return total;
}

uint64_t CountThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    uint64_t found = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++found;
    CloseHandle(snapshot);
    return found;
}

}  // namespace

ProcessStats MeasureProcess() {
    ProcessStats s;
    s.handles = CountHandles(&s.handleTypes);
    s.gdiObjects = CountGdiObjects();
    s.userObjects = CountUserObjects();
    s.privateBytes = CommittedPrivateBytes();
    s.threads = CountThreads();
    return s;
}

}  // namespace tthost
