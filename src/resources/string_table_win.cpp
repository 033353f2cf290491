// The module's numbered texts, read from its STRINGTABLE resource.
#include <windows.h>

#include "resources/string_table.h"
#include "support/own_module_win.h"
#include "support/unique_handle_win.h"

namespace tt {

std::u16string LoadResourceString(unsigned id) {
    // With a zero buffer size the call hands out the resource's own text, unterminated.
    const wchar_t* text = nullptr;
    int length = LoadStringW(OwnModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    return FromWide(text, static_cast<size_t>(length));
}

}  // namespace tt
