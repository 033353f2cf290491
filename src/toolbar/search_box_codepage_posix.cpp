// Builds other than Windows have no ANSI code pages: every conversion is UTF-8.
#include "support/utf.h"
#include "toolbar/search_box_escape.h"

namespace tt {
namespace {

class Utf8Converter final : public ICodePageConverter {
public:
    std::string FromUtf16(const std::u16string& text, unsigned) override { return Utf16ToUtf8(text); }
};

}  // namespace

ICodePageConverter& PlatformCodePageConverter() {
    static Utf8Converter converter;
    return converter;
}

}  // namespace tt
