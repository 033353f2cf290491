#pragma once
// The module that holds this code and its resources: the DLL in the product, the test program
// in the tests. The linker's image base needs no call into the loader.
#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace tt {

inline HMODULE OwnModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

}  // namespace tt
