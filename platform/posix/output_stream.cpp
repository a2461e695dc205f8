#include "platform/output_stream.h"

#include <climits>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvu {
namespace {

// A non-blocking descriptor of our own for the pipe or terminal behind `fd`, so that its
// status flags, which the shell shares, stay untouched. -1 when `fd` is already non-blocking,
// is something else (a regular file never waits for a reader), or cannot be reopened.
int ReopenNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    struct stat status = {};
    if (flags < 0 || (flags & O_NONBLOCK) != 0 || ::fstat(fd, &status) != 0 ||
        !(S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode))) {
        return -1;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    return ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (flags & O_APPEND));
}

bool IsSocket(int fd) {
    struct stat status = {};
    return ::fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode);
}

}  // namespace

struct OutputStream::State {
    int fd = -1;
    // A descriptor of our own for the same pipe or terminal, opened non-blocking; -1 if none.
    int ownFd = -1;
    bool isSocket = false;
    // Writes never block here (poll first, then a non-blocking or bounded write), so an
    // interruption only has to be noticed between them.
    std::atomic<bool> interrupted{false};
};

OutputStream::OutputStream(int fd) : state_(std::make_unique<State>()) {
    state_->fd = fd;
    state_->ownFd = ReopenNonBlocking(fd);
    state_->isSocket = IsSocket(fd);
}

OutputStream::~OutputStream() {
    if (state_->ownFd >= 0) {
        ::close(state_->ownFd);
    }
}

void OutputStream::Interrupt() {
    state_->interrupted = true;
}

long OutputStream::WriteSome(const char* data, size_t size, int timeoutMs) {
    if (state_->interrupted) {
        return -1;
    }
    const int fd = state_->ownFd >= 0 ? state_->ownFd : state_->fd;
    pollfd ready = {fd, POLLOUT, 0};
    const int polled = ::poll(&ready, 1, timeoutMs);
    if (polled < 0) {
        return errno == EINTR ? 0 : -1;
    }
    if (polled == 0) {
        return 0;
    }
    if ((ready.revents & POLLNVAL) != 0) {
        return -1;
    }
    // POLLERR without room: a pipe whose reader has gone, or a socket with an error. The write
    // below returns at once with the reason.
    // Without a non-blocking descriptor of our own, at most what a pipe takes at once after
    // reporting room.
    size_t chunk = size;
    if (state_->ownFd < 0 && !state_->isSocket && chunk > PIPE_BUF) {
        chunk = PIPE_BUF;
    }
    const ssize_t n =
        state_->isSocket ? ::send(fd, data, chunk, MSG_DONTWAIT) : ::write(fd, data, chunk);
    if (n >= 0) {
        return static_cast<long>(n);
    }
    if (errno == EPIPE || errno == ECONNRESET) {
        return kOutputClosed;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

}  // namespace tarvu
