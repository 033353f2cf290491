#include "support/module_version_win.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "support/own_module_win.h"
#include "support/unique_handle_win.h"

namespace tt {

std::u16string GetModuleVersionString(const std::u16string& name) {
    wchar_t path[520];
    DWORD n = GetModuleFileNameW(OwnModule(), path, 520);
    if (n == 0 || n >= 520) return {};
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return {};
    std::vector<BYTE> info(size);
    if (!GetFileVersionInfoW(path, 0, size, info.data())) return {};

    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        !translation || length < sizeof(Translation)) {
        return {};
    }
    wchar_t query[300];
    if (name.size() > 200) return {};
    swprintf(query, 300, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language, translation->codePage,
             Wide(name));
    wchar_t* text = nullptr;
    if (!VerQueryValueW(info.data(), query, reinterpret_cast<void**>(&text), &length) || !text) return {};
    size_t end = 0;
    while (end < length && text[end] != L'\0') ++end;
    return FromWide(text, end);
}

}  // namespace tt
