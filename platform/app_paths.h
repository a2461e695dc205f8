#pragma once
// Where the program lives and where a user's configuration goes.

#include <filesystem>

namespace tarvu {

// The directory of the running executable; empty when it cannot be found.
std::filesystem::path ExecutableDirectory();

// True when the process may create and replace files in `directory` (which must exist);
// found out by creating and removing a small file there.
bool IsDirectoryWritable(const std::filesystem::path& directory);

// True when `file` is a regular file that the process may rewrite: it has a write
// permission bit and opens for writing (the superuser too is refused a read-only file or
// file system). Never waits, whatever the file is.
bool IsFileWritable(const std::filesystem::path& file);

// The user's configuration base directory: $XDG_CONFIG_HOME when it is an absolute path,
// otherwise ~/.config (home from $HOME, else the password database); empty when there is
// no home directory either.
std::filesystem::path UserConfigHome();

// The folder Wireshark loads a user's own Lua plugins from: ~/.local/lib/wireshark/plugins
// (home as for UserConfigHome; Wireshark does not read $XDG_DATA_HOME for it), on Windows
// %APPDATA%\Wireshark\plugins. Empty when there is no home folder.
std::filesystem::path WiresharkUserPluginFolder();

}  // namespace tarvu
