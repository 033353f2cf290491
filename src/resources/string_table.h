#pragma once
#include <string>

namespace tt {

// Looks up one of the system's numbered texts at the moment of use; a missing entry reads
// as the empty text. The table's single source is src/resources/strings.txt: the DLL reads
// it from its STRINGTABLE resource, native code and the Windows test program from a
// compiled-in copy generated from the same file.
std::u16string LoadResourceString(unsigned id);

}  // namespace tt
