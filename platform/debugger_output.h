#pragma once
// The system debugger's output channel, beside the debug sink; platform-internal.

#include <string_view>

namespace tarvu {

// True when the system has a debugger output channel that someone listens to (on Windows:
// a debugger, or a monitor such as DebugView).
bool DebuggerListening();

// Hands one piece of debug text to the debugger output channel (a no-op where there is none).
void WriteToDebugger(std::string_view text);

}  // namespace tarvu
