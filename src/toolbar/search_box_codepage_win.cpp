#include <windows.h>

#include "support/unique_handle_win.h"
#include "toolbar/search_box_escape.h"

namespace tt {
namespace {

class WindowsConverter final : public ICodePageConverter {
  public:
    std::string FromUtf16(const std::u16string& text, unsigned codePage) override {
        if (text.empty()) return {};
        const int length = static_cast<int>(text.size());
        const int size = WideCharToMultiByte(codePage, 0, Wide(text), length, nullptr, 0, nullptr, nullptr);
        if (size <= 0) return {};
        std::string bytes(static_cast<size_t>(size), '\0');
        if (WideCharToMultiByte(codePage, 0, Wide(text), length, &bytes[0], size, nullptr, nullptr) != size) {
            return {};
        }
        return bytes;
    }
};

}  // namespace

ICodePageConverter& PlatformCodePageConverter() {
    static WindowsConverter converter;
    return converter;
}

}  // namespace tt
