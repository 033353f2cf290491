// Loads a DLL the way a host process would and reports through its exit code: 0 loaded,
// 1 refused (with the loader's error), 2 bad arguments. The module tests copy this program
// under the names of the shell and of the browser.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    HMODULE module = LoadLibraryW(argv[1]);
    if (!module) {
        std::printf("refused: error %lu\n", GetLastError());
        return 1;
    }
    FreeLibrary(module);
    return 0;
}
