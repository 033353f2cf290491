#include "text/fill_template.h"

namespace tt {

std::u16string FillTemplate(const std::u16string& form, std::initializer_list<std::u16string> values) {
    std::u16string out;
    auto next = values.begin();
    for (size_t i = 0; i < form.size(); ++i) {
        if (next != values.end() && form[i] == u'%' && i + 1 < form.size() && form[i + 1] == u's') {
            out += *next++;
            ++i;
        } else {
            out += form[i];
        }
    }
    return out;
}

}  // namespace tt
