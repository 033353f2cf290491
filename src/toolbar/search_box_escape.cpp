#include "toolbar/search_box_escape.h"

namespace tt {
namespace {

bool KeptAsIs(unsigned char b) {
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) return true;
    switch (b) {
        case '!':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '-':
        case '.':
        case '/':
        case ':':
        case '_':
        case '~':
        // The percent sign stays: a query that already holds escapes is passed through.
        case '%':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::u16string EscapeQueryBytes(const std::string& bytes) {
    static const char16_t kHex[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(bytes.size() * 3);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (KeptAsIs(b)) {
            out += static_cast<char16_t>(b);
        } else {
            out += u'%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

std::u16string EscapeQuery(const std::u16string& text, unsigned codePage, ICodePageConverter& converter) {
    return EscapeQueryBytes(converter.FromUtf16(text, codePage));
}

std::u16string EscapeQuery(const std::u16string& text, unsigned codePage) {
    return EscapeQuery(text, codePage, PlatformCodePageConverter());
}

}  // namespace tt
