#include "platform/append_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvu {
namespace {

std::string Reason(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

}  // namespace

AppendFile::~AppendFile() {
    Close();
}

bool AppendFile::Open(const std::string& path, std::string& error) {
    Close();
    // Read access only to look at the last byte; a file that may be written but not read
    // is opened for writing alone.
    constexpr int kFlags = O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(path.c_str(), O_RDWR | kFlags, 0666);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(path.c_str(), O_WRONLY | kFlags, 0666);
    }
    if (fd < 0) {
        error = Reason(path, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode))) {
        // A pipe or socket would stall the writer; a folder cannot be opened for writing.
        ::close(fd);
        error = path + ": not a regular file";
        return false;
    }
    // Non-blocking only to refuse a FIFO without waiting for a reader; writes block as usual.
    ::fcntl(fd, F_SETFL, O_APPEND);
    char last = '\n';
    openedAtLineStart_ = !S_ISREG(st.st_mode) || st.st_size == 0 ||
                         ::pread(fd, &last, 1, st.st_size - 1) != 1 || last == '\n';
    handle_ = fd;
    path_ = path;
    return true;
}

bool AppendFile::Write(std::string_view text, std::string& error) {
    if (handle_ < 0) {
        error = path_ + ": not open";
        return false;
    }
    while (!text.empty()) {
        const ssize_t n = ::write(handle_, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = Reason(path_, n < 0 ? errno : ENOSPC);
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void AppendFile::Close() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = kInvalidNativeHandle;
    }
}

}  // namespace tarvu
