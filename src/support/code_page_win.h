#pragma once
// UTF-16 text to and from the bytes of a Windows code page. Characters a code page lacks become
// its default character; the empty text on any failure.
#include <windows.h>

#include <string>

#include "support/unique_handle_win.h"

namespace tt {

inline std::string ToCodePage(const std::u16string& text, unsigned codePage) {
    if (text.empty() || text.size() > 0x7fffffff) return {};
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(codePage, 0, Wide(text), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string bytes(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, 0, Wide(text), length, &bytes[0], size, nullptr, nullptr) != size)
        return {};
    return bytes;
}

inline std::u16string FromCodePage(const std::string& bytes, unsigned codePage) {
    if (bytes.empty() || bytes.size() > 0x7fffffff) return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::u16string text(static_cast<size_t>(size), u'\0');
    if (MultiByteToWideChar(codePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(&text[0]), size) !=
        size)
        return {};
    return text;
}

}  // namespace tt
