#include "platform/file_replace.h"

#include "platform/file_lock.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvu {
namespace {

// How long an access waits for another holder of the file's lock before going on without.
constexpr std::chrono::milliseconds kLockPatience(5000);

// Opened only as a path that cannot block: a named pipe without a writer would otherwise
// hold a reader's open() for good, and the file's type is checked before any read.
constexpr int kOpenFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Closes a descriptor on every exit path.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Closes now and reports whether the close succeeded (it can report a late write error).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Serialises updates within the process. The file lock alone would do that too; the mutex
// also guarantees that no temporary file named with our own pid is in use while stale
// temporaries are removed.
std::mutex& UpdateMutex() {
    static std::mutex mutex;
    return mutex;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool WriteAllAt(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            out.clear();
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

std::string TemporaryPrefix(const std::filesystem::path& target) {
    // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict overlap inside
    // std::string for `"." + std::string&&` (GCC bug 105329).
    std::string prefix = ".";
    prefix += target.filename().string();
    prefix += ".tmp-";
    return prefix;
}

// ".NAME.tmp-PID-N": unique within the process through N and among processes through PID.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    const std::string name = TemporaryPrefix(target) + std::to_string(::getpid()) + "-" +
                             std::to_string(counter.fetch_add(1));
    return target.parent_path() / name;
}

// The pid in a name made by TemporaryNameBeside for `prefix`, or 0 for any other name.
pid_t TemporaryOwner(std::string_view name, std::string_view prefix) {
    if (name.substr(0, prefix.size()) != prefix) {
        return 0;
    }
    name.remove_prefix(prefix.size());
    const size_t dash = name.find('-');
    const std::string_view pidText = name.substr(0, dash);
    if (dash == std::string_view::npos || pidText.empty() || pidText.size() > 9 ||
        dash + 1 == name.size()) {
        return 0;
    }
    const auto allDigits = [](std::string_view s) {
        return s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!allDigits(pidText) || !allDigits(name.substr(dash + 1))) {
        return 0;
    }
    return static_cast<pid_t>(std::stol(std::string(pidText)));
}

// A process killed between creating its temporary file and renaming it leaves the file
// behind. Removes those whose process is gone; another live process's file is in use and
// stays. Files with our own pid are leftovers of an earlier process with the same number,
// since the update mutex is held.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
    const std::filesystem::path folder =
        target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) {
        return;
    }
    const std::string prefix = TemporaryPrefix(target);
    while (const dirent* entry = ::readdir(directory)) {
        const pid_t owner = TemporaryOwner(entry->d_name, prefix);
        if (owner <= 0) {
            continue;
        }
        if (owner == ::getpid() || (::kill(owner, 0) == -1 && errno == ESRCH)) {
            ::unlinkat(::dirfd(directory), entry->d_name, 0);
        }
    }
    ::closedir(directory);
}

bool FolderRefused(int error) {
    return error == EACCES || error == EPERM;
}

// The crash-safe way: a new file beside the target, renamed over it. `folderRefused` tells
// whether the directory's permissions were the obstacle.
bool WriteByRenaming(const std::filesystem::path& target, const struct stat& existing,
                     std::string_view bytes, bool& folderRefused) {
    folderRefused = false;
    const std::filesystem::path temporary = TemporaryNameBeside(target);
    // 0666 lets the umask decide the permissions of a new file, as for any created file.
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                             static_cast<mode_t>(0666)));
    if (fd.Get() < 0) {
        folderRefused = FolderRefused(errno);
        return false;
    }
    bool ok = WriteAllAt(fd.Get(), bytes);
    ok = ok && ::fchmod(fd.Get(), existing.st_mode & 07777) == 0;
    // Only a privileged process can give the file back to another owner; without the
    // privilege the owner is ours already or stays ours, which the mode bits still govern.
    if (ok && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        [[maybe_unused]] const int ignored = ::fchown(fd.Get(), existing.st_uid, existing.st_gid);
    }
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    // The new contents reach the disk before the rename, so after a crash the file holds
    // either version whole; the directory is not flushed, as losing the rename only brings
    // back the old version.
    if (ok && ::rename(temporary.c_str(), target.c_str()) == 0) {
        return true;
    }
    folderRefused = ok && FolderRefused(errno);
    ::unlink(temporary.c_str());
    return false;
}

// The way for a writable file in a folder that refuses new files: the new bytes over the
// old, then the length cut, then a flush. Readers hold the shared lock, so none sees the
// file between the steps; a crash in between can leave it mixed, which is the price of a
// folder that allows nothing else.
bool WriteInPlace(const std::filesystem::path& target, const struct stat& locked,
                  std::string_view bytes) {
    FileDescriptor fd(::open(target.c_str(), O_WRONLY | kOpenFlags));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !SameFile(st, locked)) {
        return false;
    }
    bool ok = WriteAllAt(fd.Get(), bytes);
    ok = ok && ::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) == 0;
    ok = ok && ::fsync(fd.Get()) == 0;
    return fd.Close() && ok;
}

}  // namespace

FileReadResult ReadWholeFile(const std::filesystem::path& file) {
    FileReadResult result;
    struct stat st {};
    // Refused before opening: opening a device can have effects of its own.
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        result.status = FileReadStatus::kNotRegular;
        return result;
    }
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | kOpenFlags));
    if (fd.Get() < 0) {
        result.status = (errno == ENOENT) ? FileReadStatus::kMissing : FileReadStatus::kError;
        return result;
    }
    if (::fstat(fd.Get(), &st) != 0) {
        result.status = FileReadStatus::kError;
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.status = FileReadStatus::kNotRegular;
        return result;
    }
    LockOpenFile(fd.Get(), FileLockKind::kShared, kLockPatience);
    result.bytes.reserve(static_cast<size_t>(st.st_size));
    result.status = ReadAll(fd.Get(), result.bytes) ? FileReadStatus::kOk : FileReadStatus::kError;
    return result;
}

FileUpdateStatus UpdateFileContents(const std::filesystem::path& file, const FileChange& change) {
    std::error_code ec;
    std::filesystem::path target = file;
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::canonical(file, ec);
        if (ec) {
            return FileUpdateStatus::kNotWritable;
        }
    }
    if (target.filename().empty()) {
        return FileUpdateStatus::kNotWritable;
    }
    const std::lock_guard<std::mutex> guard(UpdateMutex());
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return FileUpdateStatus::kNotRegular;
    }

    // The lock lives on the file itself, which a rename replaces: after waiting for it the
    // name may hold a newer file than the one locked, and then the newer one is locked.
    FileDescriptor fd;
    bool created = false;
    bool settled = false;
    for (int attempt = 0; attempt < 100 && !settled; ++attempt) {
        created = false;
        fd.Reset(::open(target.c_str(), O_RDONLY | kOpenFlags));
        if (fd.Get() < 0 && errno == ENOENT) {
            // A missing file is created empty, so that there is something to lock.
            fd.Reset(::open(target.c_str(), O_RDONLY | O_CREAT | O_EXCL | kOpenFlags,
                            static_cast<mode_t>(0666)));
            if (fd.Get() < 0 && errno == EEXIST) {
                continue;
            }
            if (fd.Get() < 0) {
                return FileUpdateStatus::kNotWritable;
            }
            created = true;
        } else if (fd.Get() < 0) {
            return FileUpdateStatus::kUnreadable;
        }
        if (::fstat(fd.Get(), &st) != 0) {
            return FileUpdateStatus::kUnreadable;
        }
        if (!S_ISREG(st.st_mode)) {
            return FileUpdateStatus::kNotRegular;
        }
        LockOpenFile(fd.Get(), FileLockKind::kExclusive, kLockPatience);
        struct stat named {};
        settled = ::stat(target.c_str(), &named) == 0 && SameFile(named, st);
        if (settled) {
            st = named;  // the permissions as they are now
        }
    }
    if (!settled) {
        return FileUpdateStatus::kNotWritable;
    }
    // Removes the empty file this call created when nothing is written into it.
    const auto undoCreation = [&] {
        struct stat named {};
        if (created && ::stat(target.c_str(), &named) == 0 && SameFile(named, st)) {
            ::unlink(target.c_str());
        }
    };

    const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
    if (!created && ((st.st_mode & writeBits) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        return FileUpdateStatus::kNotWritable;
    }
    std::string bytes;
    if (!ReadAll(fd.Get(), bytes)) {
        return FileUpdateStatus::kUnreadable;
    }
    if (!change(bytes)) {
        undoCreation();
        return FileUpdateStatus::kDeclined;
    }

    RemoveStaleTemporaries(target);
    bool folderRefused = false;
    if (WriteByRenaming(target, st, bytes, folderRefused) ||
        (folderRefused && WriteInPlace(target, st, bytes))) {
        return FileUpdateStatus::kWritten;
    }
    undoCreation();
    return FileUpdateStatus::kNotWritable;
}

}  // namespace tarvu
