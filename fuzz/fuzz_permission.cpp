// Reads any text as a permission file. Checks each switch against a plain reading of the
// file: a switch forbids exactly when the first "key=" in the text is followed by a value that
// ends at a line break and is "no" in any letter case, so a value comes only from its own line.
#include <cstdlib>

#include "fuzz_input.h"
#include "net/permission.h"

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

bool IsBreak(char16_t c) { return c == u'\r' || c == u'\n'; }

bool Forbids(const std::u16string& text, const std::u16string& key) {
    const size_t at = text.find(key + u"=");
    if (at == std::u16string::npos) return false;
    const size_t value = at + key.size() + 1;
    // The value is at least one character and runs to the first line break after that.
    size_t end = value + 1;
    while (end < text.size() && !IsBreak(text[end])) ++end;
    if (end >= text.size()) return false;
    return end - value == 2 && (text[value] | 0x20) == u'n' && (text[value + 1] | 0x20) == u'o';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string text = fuzz::Decode(data, size, false);
    const tt::PermissionFlags flags = tt::ReadPermissionFlags(text);
    Check(flags.allowToolbar == !Forbids(text, u"AllowToolbar"));
    Check(flags.allowAutoLogin == !Forbids(text, u"AllowAutoLogin"));
    return 0;
}
