#pragma once
#include <string>

#include "text/fill_template.h"

namespace tt {

// Code pages the searches convert their query to.
constexpr unsigned kCodePageUtf8 = 65001;    // the web search
constexpr unsigned kCodePageThreadAnsi = 3;  // CP_THREAD_ACP: the groupware's Text parameter

// UTF-16 to the bytes of a code page (WideCharToMultiByte on Windows).
class ICodePageConverter {
public:
    virtual ~ICodePageConverter() = default;
    // No flags: characters the code page lacks become its default replacement character.
    virtual std::string FromUtf16(const std::u16string& text, unsigned codePage) = 0;
};

// The platform's converter. Windows: WideCharToMultiByte. Elsewhere every code page, the
// thread's ANSI one included, is taken as UTF-8.
ICodePageConverter& PlatformCodePageConverter();

// Writes each byte as itself when it is an ASCII letter or digit, one of ! ' ( ) * - . / : _ ~
// or the percent sign, otherwise as "%" and two lower-case hexadecimal digits.
std::u16string EscapeQueryBytes(const std::string& bytes);

// The query in the code page's bytes, escaped for a URL.
std::u16string EscapeQuery(const std::u16string& text, unsigned codePage, ICodePageConverter& converter);
std::u16string EscapeQuery(const std::u16string& text, unsigned codePage);

}  // namespace tt
