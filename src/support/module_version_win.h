#pragma once
#include <string>

namespace tt {

// A string of the module's own version resource ("ProductVersion", "FileDescription", ...),
// in its first language; the empty text on any failure.
std::u16string GetModuleVersionString(const std::u16string& name);

}  // namespace tt
