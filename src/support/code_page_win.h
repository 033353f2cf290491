#pragma once
// UTF-16 text to and from the bytes of a Windows code page. Characters a code page lacks become
// its default character; the empty text on any failure.
#include <windows.h>

#include <optional>
#include <string>

#include "support/unique_handle_win.h"
#include "support/wipe.h"

namespace tt {

namespace detail {
// WideCharToMultiByte twice (size, then bytes); nothing on failure or, with usedDefault, when a
// character had no form of its own.
inline std::optional<std::string> ConvertToCodePage(const std::u16string& text, unsigned codePage,
                                                    DWORD flags, BOOL* usedDefault) {
    if (text.empty() || text.size() > 0x7fffffff) return std::nullopt;
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(codePage, flags, Wide(text), length, nullptr, 0, nullptr, usedDefault);
    if (size <= 0 || (usedDefault && *usedDefault)) return std::nullopt;
    std::string bytes(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, Wide(text), length, &bytes[0], size, nullptr, usedDefault) !=
            size ||
        (usedDefault && *usedDefault)) {
        Wipe(bytes);  // it may be a password
        return std::nullopt;
    }
    return bytes;
}
}  // namespace detail

inline std::string ToCodePage(const std::u16string& text, unsigned codePage) {
    return detail::ConvertToCodePage(text, codePage, 0, nullptr).value_or(std::string());
}

// The same without stand-ins: nothing when a character has no exact form in the code page, since
// its default character or a best-fit look-alike (a full-width "＆" as "&") would say something
// else. UTF-8 has every character (and takes no flags).
inline std::optional<std::string> ToCodePageExact(const std::u16string& text, unsigned codePage) {
    if (text.empty()) return std::string();
    CPINFOEXW info{};
    if (!GetCPInfoExW(codePage, 0, &info)) return std::nullopt;
    if (info.CodePage == CP_UTF8) return detail::ConvertToCodePage(text, CP_UTF8, 0, nullptr);
    BOOL usedDefault = FALSE;
    return detail::ConvertToCodePage(text, info.CodePage, WC_NO_BEST_FIT_CHARS, &usedDefault);
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
