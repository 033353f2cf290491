#include <windows.h>

#include "support/fault_guard.h"

namespace tt {

void PlatformDebugOutput(const std::u16string& line) {
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(line.c_str()));
}

}  // namespace tt
