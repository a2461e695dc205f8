#include "platform/debugger_output.h"

namespace tarvu {

// Linux has no debugger output channel; the debug sink is the only destination.
bool DebuggerListening() {
    return false;
}

void WriteToDebugger(std::string_view) {
}

}  // namespace tarvu
