#include "platform/created_file.h"

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

CreatedFile::~CreatedFile() {
    Close();
}

bool CreatedFile::Create(const std::string& path, std::string& error) {
    Close();
    // Not truncated on opening: the type is checked first. Non-blocking, so a named pipe
    // without a reader fails at once (ENXIO) instead of waiting for one.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int code = errno;
        error = code == ENXIO ? path + ": not a regular file" : Reason(path, code);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = path + ": not a regular file";
        return false;
    }
    if (::ftruncate(fd, 0) != 0) {
        const int code = errno;
        ::close(fd);
        error = Reason(path, code);
        return false;
    }
    ::fcntl(fd, F_SETFL, 0);
    handle_ = fd;
    path_ = path;
    return true;
}

bool CreatedFile::Write(std::string_view bytes, std::string& error) {
    if (handle_ < 0) {
        error = path_ + ": not open";
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(handle_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = Reason(path_, n < 0 ? errno : ENOSPC);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool CreatedFile::Truncate(uint64_t size, std::string& error) {
    if (handle_ < 0) {
        error = path_ + ": not open";
        return false;
    }
    if (::ftruncate(handle_, static_cast<off_t>(size)) != 0 ||
        ::lseek(handle_, static_cast<off_t>(size), SEEK_SET) < 0) {
        error = Reason(path_, errno);
        return false;
    }
    return true;
}

void CreatedFile::Close() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = kInvalidNativeHandle;
    }
}

}  // namespace tarvu
