#pragma once
// Collects what the code under test writes to the debugger output while it lives.
#include <string>
#include <vector>

namespace tthost {

class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    std::vector<std::u16string> Lines() const;
    bool Contains(const std::u16string& line) const;
    size_t Count(const std::u16string& line) const;
    void Clear();
};

}  // namespace tthost
