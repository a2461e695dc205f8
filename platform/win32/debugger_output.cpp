#include "platform/debugger_output.h"

#include <string>
#include <windows.h>

namespace tarvu {

bool DebuggerListening() {
    return ::IsDebuggerPresent() != FALSE;
}

void WriteToDebugger(std::string_view text) {
    // OutputDebugStringA wants a terminated string; the text is UTF-8 like everything we print.
    const std::string terminated(text);
    ::OutputDebugStringA(terminated.c_str());
}

}  // namespace tarvu
