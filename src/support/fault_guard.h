#pragma once
#include <cstdint>
#include <new>
#include <string>

namespace tt {

// Fault codes raised by support code: out of memory, and every other failure.
constexpr uint32_t kFaultOutOfMemory = 0xC0000017;
constexpr uint32_t kFaultFailure = 0xC000001D;

// A non-continuable failure raised inside the system; it ends at the nearest fault guard.
struct Fault {
    uint32_t code;
};
[[noreturn]] void RaiseFault(uint32_t code = kFaultFailure);

// Writes a line to the debugger output (OutputDebugStringW on Windows, standard error
// elsewhere). Tests may install a sink to read it.
void DebugOutput(const std::u16string& line);
using DebugOutputSink = void (*)(const std::u16string& line);
void SetDebugOutputSink(DebugOutputSink sink);  // nullptr restores the platform's output
// The platform's output: OutputDebugString on Windows, standard error elsewhere.
void PlatformDebugOutput(const std::u16string& line);

// "Exception code: %x\n" with the code in lower-case hexadecimal.
std::u16string FormatFaultLine(uint32_t code);

// Runs body; any exception that leaves it is logged with its fault code instead of crossing a
// COM or window-procedure boundary. Returns false when the body faulted.
template <class Body>
bool GuardFaults(Body&& body) noexcept {
    uint32_t code;
    try {
        body();
        return true;
    } catch (const Fault& f) {
        code = f.code;
    } catch (const std::bad_alloc&) {
        code = kFaultOutOfMemory;
    } catch (...) {
        code = kFaultFailure;
    }
    try {
        DebugOutput(FormatFaultLine(code));
    } catch (...) {
    }
    return false;
}

}  // namespace tt
