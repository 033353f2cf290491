#pragma once
// Overwriting the memory of texts that held the plain password before it goes back to the
// heap, where the next allocation (or a crash dump) would otherwise find it. The writes go
// through a volatile pointer so that the compiler cannot drop them as dead stores.
#include <cstddef>
#include <string>
#include <vector>

namespace tt {

inline void WipeMemory(void* data, size_t bytes) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) p[i] = 0;
}

// Zeroes the whole buffer, not only the part in use (growing within the capacity never
// reallocates), and empties the container.
template <class C, class T, class A>
void Wipe(std::basic_string<C, T, A>& text) {
    text.resize(text.capacity());
    WipeMemory(&text[0], text.size() * sizeof(C));
    text.clear();
}

template <class E, class A>
void Wipe(std::vector<E, A>& items) {
    items.resize(items.capacity());
    if (!items.empty()) WipeMemory(items.data(), items.size() * sizeof(E));
    items.clear();
}

// Wipes a local when the scope ends, also when a fault unwinds it.
template <class Container>
class WipeOnExit {
public:
    explicit WipeOnExit(Container& held) : held_(held) {}
    ~WipeOnExit() { Wipe(held_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    Container& held_;
};

}  // namespace tt
