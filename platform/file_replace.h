#pragma once
// Whole-file reads and whole-file updates for small text files that are read and rewritten
// on every access (the settings file), shared safely by the threads of a process and by
// several processes.
//
// Nothing here ever waits on the file itself: paths are opened without blocking and only
// regular files are read or written, so a named pipe or a device under the name is refused
// instead of hanging the program.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tarvu {

enum class FileReadStatus {
    kOk,
    kMissing,     // no such file (or a directory on its path is missing)
    kNotRegular,  // a named pipe, a device, a directory...: never opened for reading
    kError,       // exists but cannot be read: permissions, an I/O error
};

struct FileReadResult {
    FileReadStatus status = FileReadStatus::kMissing;
    std::string bytes;
};

// Reads the file under a shared lock, so that it never sees half of an in-place rewrite.
FileReadResult ReadWholeFile(const std::filesystem::path& file);

enum class FileUpdateStatus {
    kWritten,
    kDeclined,     // the change function declined; nothing was written
    kNotRegular,   // the name holds something other than a regular file
    kUnreadable,   // the existing file cannot be read, so it cannot be changed either
    kNotWritable,  // a read-only file, or neither way of writing it succeeded
};

// Receives the file's bytes (empty for a missing file) and changes them; false declines.
using FileChange = std::function<bool(std::string& bytes)>;

// Read-modify-write under an exclusive lock that other processes respect too, so that no
// writer's change is lost to another's. The new bytes go to a new file in the same
// directory, flushed and renamed over the target, so the file holds either the old or the
// new contents at every moment. When the directory refuses that new file (or the rename)
// but the file itself is writable, the file is rewritten in place instead: whole, flushed,
// under the lock, which readers wait for. An existing file keeps its permission bits (and
// its owner where the process may set it); a symbolic link is followed and its target
// changed. A file without any write permission bit is refused, as Windows refuses to write
// a read-only file. Temporary files left beside the target by processes that died in the
// middle of a write are removed first. On failure the file is left as it was.
FileUpdateStatus UpdateFileContents(const std::filesystem::path& file, const FileChange& change);

// UpdateFileContents with new contents that do not depend on the old; true when written.
bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes);

}  // namespace tarvu
