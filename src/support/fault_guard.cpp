#include "support/fault_guard.h"

#include <atomic>
#include <cstdio>

namespace tt {
namespace {
std::atomic<DebugOutputSink> g_sink{nullptr};
}

void RaiseFault(uint32_t code) { throw Fault{code}; }

void SetDebugOutputSink(DebugOutputSink sink) { g_sink.store(sink); }

void DebugOutput(const std::u16string& line) {
    if (DebugOutputSink sink = g_sink.load()) {
        sink(line);
        return;
    }
    PlatformDebugOutput(line);
}

std::u16string FormatFaultLine(uint32_t code) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "Exception code: %x\n", static_cast<unsigned>(code));
    return std::u16string(buf, buf + std::char_traits<char>::length(buf));
}

}  // namespace tt
