#include "resources/string_table.h"

#include <algorithm>
#include <iterator>

namespace tt {
namespace {

struct Entry {
    unsigned id;
    const char16_t* text;
};

// Sorted by id by the generator.
constexpr Entry kEntries[] = {
#include "string_table_data.inc"
};

}  // namespace

std::u16string LoadResourceString(unsigned id) {
    auto it = std::lower_bound(std::begin(kEntries), std::end(kEntries), id,
                               [](const Entry& e, unsigned key) { return e.id < key; });
    if (it == std::end(kEntries) || it->id != id) return {};
    return it->text;
}

}  // namespace tt
