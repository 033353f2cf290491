#include "support/code_page_win.h"
#include "toolbar/search_box_escape.h"

namespace tt {
namespace {

class WindowsConverter final : public ICodePageConverter {
public:
    std::string FromUtf16(const std::u16string& text, unsigned codePage) override {
        return ToCodePage(text, codePage);
    }
};

}  // namespace

ICodePageConverter& PlatformCodePageConverter() {
    static WindowsConverter converter;
    return converter;
}

}  // namespace tt
