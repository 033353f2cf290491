#pragma once
// Turns fuzzer bytes into UTF-16 text: each byte is one code unit, except that 0xFF takes the
// next two bytes as one code unit (high byte first), so any unit can occur while plain ASCII
// inputs stay readable in the corpus.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

inline std::u16string Decode(const uint8_t*& data, size_t& size, bool stopAtZero) {
    std::u16string text;
    while (size > 0) {
        const uint8_t b = *data;
        if (stopAtZero && b == 0) {
            ++data;
            --size;
            break;
        }
        if (b == 0xFF && size >= 3) {
            text.push_back(static_cast<char16_t>((data[1] << 8) | data[2]));
            data += 3;
            size -= 3;
            continue;
        }
        text.push_back(b);
        ++data;
        --size;
    }
    return text;
}

}  // namespace fuzz
