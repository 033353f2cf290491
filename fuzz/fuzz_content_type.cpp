// Reads any text as a Content-Type value. Checks that the character-set name is a run of
// letters, digits and hyphens that the value holds right after "charset=", and that a value
// whose "charset=" is followed by such a character always names one.
#include <cstdlib>

#include "fuzz_input.h"
#include "net/http_client.h"

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

bool IsNameCharacter(char16_t c) {
    return c == u'-' || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string value = fuzz::Decode(data, size, false);
    const std::u16string name = tt::CharsetNameFromContentType(value);
    for (char16_t c : name) Check(IsNameCharacter(c));
    if (!name.empty()) Check(value.find(u"charset=" + name) != std::u16string::npos);
    const size_t at = value.find(u"charset=");
    if (at != std::u16string::npos && at + 8 < value.size() && IsNameCharacter(value[at + 8]))
        Check(!name.empty());
    return 0;
}
