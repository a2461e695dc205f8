#pragma once
// The checks that a name the session is saved to can be a file: not a folder, and not "-",
// which other programs take for standard output (here it carries the trace, or nothing).

#include <string>

namespace tarvu {

// True when the UTF-8 `path` names a folder, with `error` set to "PATH: Is a directory".
bool IsFolderPath(const std::string& path, std::string& error);

// True for "-", with `error` saying how to name a file called "-".
bool IsStandardStreamName(const std::string& path, std::string& error);

}  // namespace tarvu
