#include <cstdio>

#include "support/fault_guard.h"
#include "support/utf.h"

namespace tt {

void PlatformDebugOutput(const std::u16string& line) { std::fputs(Utf16ToUtf8(line).c_str(), stderr); }

}  // namespace tt
