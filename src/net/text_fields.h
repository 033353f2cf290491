#pragma once
// Small text helpers of the server files and the string-table templates.
#include <initializer_list>
#include <string>

namespace tt {

// The value of "key=" up to the next line break, at least one character ("key={.+?}\n" in the
// pattern dialect, group 0); empty when the key is not followed by a value and a line break.
// The key is found anywhere, also inside a longer word.
std::u16string ExtractLineValue(const std::u16string& text, const std::u16string& key);

// Replaces the "%s" of a template, in order, with the given texts; "%s" beyond the texts stay.
// The inserted texts are not scanned again.
std::u16string FillTemplate(const std::u16string& form, std::initializer_list<std::u16string> values);

}  // namespace tt
