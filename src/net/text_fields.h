#pragma once
// Small text helpers of the server files and the string-table templates.
#include <cstddef>
#include <string>

#include "text/fill_template.h"

namespace tt {

// The value of "key=" up to the next line break, at least one character ("key={.+?}\n" in the
// pattern dialect, group 0); empty when the key is not followed by a value and a line break.
// The key is found anywhere, also inside a longer word.
std::u16string ExtractLineValue(const std::u16string& text, const std::u16string& key);

// The "Cookie: " header line of a cookie text, ending in "\n", with any carriage return and
// line feed of the text removed (they would start a header of the page's choosing); empty
// when nothing is left of the cookie.
std::u16string CookieHeaderLine(const std::u16string& cookie);

// The longest text a menu item or the appointment button shows.
constexpr size_t kMaxShownChars = 64;

// text cut to maxChars characters, its last one then "…" (U+2026), without splitting a
// surrogate pair; shorter texts unchanged.
std::u16string CutForDisplay(std::u16string text, size_t maxChars = kMaxShownChars);

}  // namespace tt
