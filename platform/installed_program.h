#pragma once
// Whether the running program is an installed copy. An installed program keeps its settings
// in the user's configuration folder and never writes beside its executable.

#include <filesystem>

namespace tarvu {

// True when `executableDirectory` is a program folder of an installation:
// - the folder `cmake --install` fills with the prefix configured at build time
//   (e.g. /usr/local/bin), or
// - a folder whose installation marker exists (`<bindir>/../share/tarvu/installed`, laid down
//   by every install, whatever --prefix it was given), or
// - one of the system's own program folders (/usr/bin, /usr/local/bin, /bin), whatever copied
//   the program there.
// Folders are compared after resolving symbolic links; an empty folder is not installed.
bool IsInstalledProgram(const std::filesystem::path& executableDirectory);

}  // namespace tarvu
