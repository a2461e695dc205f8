#include "platform/file_replace.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvu {
namespace {

// Closes a descriptor on every exit path.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now and reports whether the close succeeded (it can report a late write error).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
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

// A name unique within the process and, through the pid, among processes.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    std::string name = "." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) +
                       "-" + std::to_string(counter.fetch_add(1));
    return target.parent_path() / name;
}

}  // namespace

FileReadResult ReadWholeFile(const std::filesystem::path& file) {
    FileReadResult result;
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        result.status = (errno == ENOENT) ? FileReadStatus::kMissing : FileReadStatus::kError;
        return result;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.status = FileReadStatus::kError;
        return result;
    }
    result.bytes.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.status = FileReadStatus::kError;
            result.bytes.clear();
            return result;
        }
        if (n == 0) {
            break;
        }
        result.bytes.append(buffer, static_cast<size_t>(n));
    }
    result.status = FileReadStatus::kOk;
    return result;
}

bool ReplaceFileContents(const std::filesystem::path& file, std::string_view bytes) {
    std::error_code ec;
    std::filesystem::path target = file;
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::canonical(file, ec);
        if (ec) {
            return false;
        }
    }
    if (target.filename().empty()) {
        return false;
    }

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists) {
        const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
        if (!S_ISREG(existing.st_mode) || (existing.st_mode & writeBits) == 0 ||
            ::access(target.c_str(), W_OK) != 0) {
            return false;
        }
    } else if (errno != ENOENT) {
        return false;
    }

    const std::filesystem::path temporary = TemporaryNameBeside(target);
    // 0666 lets the umask decide the permissions of a new file, as for any created file.
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                             static_cast<mode_t>(0666)));
    if (fd.Get() < 0) {
        return false;
    }
    bool ok = WriteAll(fd.Get(), bytes);
    if (ok && exists) {
        ok = ::fchmod(fd.Get(), existing.st_mode & 07777) == 0;
        // Only a privileged process can give the file back to another owner; without the
        // privilege the owner is ours already or stays ours, which the mode bits still govern.
        if (ok && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
            [[maybe_unused]] const int ignored =
                ::fchown(fd.Get(), existing.st_uid, existing.st_gid);
        }
    }
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    // The new contents reach the disk before the rename, so after a crash the file holds
    // either version whole; the directory is not flushed, as losing the rename only brings
    // back the old version.
    if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace tarvu
