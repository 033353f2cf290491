#include "module/load_policy.h"

#include "support/utf.h"

namespace tt {

bool IsRefusedHostPath(const std::u16string& executablePath) {
    // Lower-casing ASCII letters is enough: no other character lower-cases to a letter of
    // "explorer.exe".
    std::u16string lower = executablePath;
    for (char16_t& c : lower) {
        c = AsciiLower(c);
    }
    return lower.find(u"explorer.exe") != std::u16string::npos;
}

}  // namespace tt
