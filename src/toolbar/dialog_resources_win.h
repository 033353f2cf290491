#pragma once
// The module that holds this code and its resources: the DLL, or the test program in tests.
#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace tt {

inline HINSTANCE DialogResourceModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

}  // namespace tt
