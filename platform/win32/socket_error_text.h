#pragma once
// The text of a Windows Sockets error code; platform-internal.

#include <string>

namespace tarvu {

// "Only one usage of each socket address ... (10048)"-style text in English where the system
// has it, always ending with the code in parentheses.
std::string SocketErrorText(int code);

}  // namespace tarvu
