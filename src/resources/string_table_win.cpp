// The module's numbered texts, read from its STRINGTABLE resource.
#include <windows.h>

#include "resources/string_table.h"
#include "support/unique_handle_win.h"

namespace tt {
namespace {

HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

}  // namespace

std::u16string LoadResourceString(unsigned id) {
    // With a zero buffer size the call hands out the resource's own text, unterminated.
    const wchar_t* text = nullptr;
    int length = LoadStringW(OwnModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    return FromWide(text, static_cast<size_t>(length));
}

}  // namespace tt
