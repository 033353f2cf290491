#pragma once
#include <string>

namespace tt {

// UTF-16 <-> UTF-8 without the platform. Unpaired surrogates and malformed bytes become
// U+FFFD, as MultiByteToWideChar/WideCharToMultiByte do for CP_UTF8.
std::string Utf16ToUtf8(const std::u16string& text);
std::u16string Utf8ToUtf16(const std::string& bytes);

// ASCII-only case folding, as the system's case-insensitive comparisons of protocol texts need.
char16_t AsciiLower(char16_t c);

// The text with every c written twice: how menus ("&") and the registrar's scripts ("'") quote
// their escape character.
std::u16string DoubleEach(const std::u16string& text, char16_t c);

}  // namespace tt
