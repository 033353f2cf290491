#pragma once
// The string table's templates: "%s" stands for a text given at run time.
#include <initializer_list>
#include <string>

namespace tt {

// Replaces the "%s" of a template, in order, with the given texts; "%s" beyond the texts stay.
// The inserted texts are not scanned again.
std::u16string FillTemplate(const std::u16string& form, std::initializer_list<std::u16string> values);

}  // namespace tt
