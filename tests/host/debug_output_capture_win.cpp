#include "host/debug_output_capture_win.h"

#include <algorithm>
#include <mutex>

#include "support/fault_guard.h"
#include "support/threads.h"

namespace tthost {
namespace {

tt::CriticalSection g_lock;
std::vector<std::u16string> g_lines;

void Collect(const std::u16string& line) {
    std::lock_guard<tt::CriticalSection> g(g_lock);
    g_lines.push_back(line);
}

}  // namespace

DebugOutputCapture::DebugOutputCapture() {
    Clear();
    tt::SetDebugOutputSink(Collect);
}

DebugOutputCapture::~DebugOutputCapture() { tt::SetDebugOutputSink(nullptr); }

std::vector<std::u16string> DebugOutputCapture::Lines() const {
    std::lock_guard<tt::CriticalSection> g(g_lock);
    return g_lines;
}

bool DebugOutputCapture::Contains(const std::u16string& line) const { return Count(line) > 0; }

size_t DebugOutputCapture::Count(const std::u16string& line) const {
    std::lock_guard<tt::CriticalSection> g(g_lock);
    return static_cast<size_t>(std::count(g_lines.begin(), g_lines.end(), line));
}

void DebugOutputCapture::Clear() {
    std::lock_guard<tt::CriticalSection> g(g_lock);
    g_lines.clear();
}

}  // namespace tthost
