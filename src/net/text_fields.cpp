#include "net/text_fields.h"

#include "text/pattern_matcher.h"

namespace tt {

std::u16string ExtractLineValue(const std::u16string& text, const std::u16string& key) {
    return ExtractPatternGroup(text, key + u"={.+?}\\n", 0);
}

std::u16string CookieHeaderLine(const std::u16string& cookie) {
    std::u16string value;
    value.reserve(cookie.size());
    for (char16_t c : cookie)
        if (c != u'\r' && c != u'\n') value += c;
    if (value.empty()) return {};
    return u"Cookie: " + value + u"\n";
}

std::u16string CutForDisplay(std::u16string text, size_t maxChars) {
    if (text.size() <= maxChars || maxChars == 0) return text;
    size_t keep = maxChars - 1;
    if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
    text.resize(keep);
    text += u'\u2026';
    return text;
}

}  // namespace tt
