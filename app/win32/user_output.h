#pragma once
// Text for the user from a window program (help, version, command-line errors): to standard
// output or error when they lead somewhere (a file, a pipe, the console of a program that
// redirected them), else to the console tarvu.exe was started from, else in a message box.

#include <string>
#include <vector>

namespace tarvu::win32 {

void WriteToUser(const std::string& text, bool error);

// The program's arguments as UTF-8, its name first, from the UTF-16 command line.
std::vector<std::string> CommandLineArguments();

}  // namespace tarvu::win32
