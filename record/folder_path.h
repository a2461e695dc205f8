#pragma once
// The check that a file the session is saved to is not a folder.

#include <string>

namespace tarvu {

// True when the UTF-8 `path` names a folder, with `error` set to "PATH: Is a directory".
bool IsFolderPath(const std::string& path, std::string& error);

}  // namespace tarvu
