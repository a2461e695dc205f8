#pragma once
// Advisory whole-file locks that every process opening the same file sees (flock): readers
// share, a writer excludes. A lock belongs to the open file description, so two descriptors
// of one process exclude each other as two processes do; closing the descriptor releases it.

#include <chrono>

namespace tarvu {

enum class FileLockKind { kShared, kExclusive };

// Waits up to `patience` for the lock on `fd`. False when it could not be had in that time
// or the file system has no such locks; callers then go on without it rather than hang
// behind a stopped process.
bool LockOpenFile(int fd, FileLockKind kind, std::chrono::milliseconds patience);

}  // namespace tarvu
