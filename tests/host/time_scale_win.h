#pragma once
// Time for long runs of the test browser: a module loaded into it sees its timers' periods
// divided and its local clock running that many times faster, through its own imports of
// SetTimer and GetLocalTime. The module itself is the one that ships, unchanged.
#include <windows.h>

namespace tthost {

// Patches the module's import table; false when it imports neither function by name.
bool RunModuleFaster(HMODULE module, unsigned factor);
// The clock the module sees (the real one when nothing was patched).
SYSTEMTIME SimulatedLocalTime();
// Hours of simulated time since the patch.
double SimulatedHours();

}  // namespace tthost
