#pragma once
// Whole-file reads and crash-safe whole-file replacement, for small text files that are
// read and rewritten on every access (the settings file).

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvu {

enum class FileReadStatus {
    kOk,
    kMissing,  // no such file (or a directory on its path is missing)
    kError,    // exists but cannot be read: permissions, a directory, an I/O error
};

struct FileReadResult {
    FileReadStatus status = FileReadStatus::kMissing;
    std::string bytes;
};

FileReadResult ReadWholeFile(const std::filesystem::path& file);

// Replaces the file's contents with `bytes` so that the file holds either the old or the
// new contents at every moment: the bytes go to a new file in the same directory, are
// flushed to disk and renamed over the target. An existing file keeps its permission bits
// (and its owner where the process may set it); a symbolic link is followed and its target
// replaced. A file without any write permission bit is refused, as Windows refuses to write
// a read-only file. Returns false, leaving everything as it was, when the directory is
// missing or not writable or any step fails.
bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes);

}  // namespace tarvu
