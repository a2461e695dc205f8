#include "app/cli/trace_output.h"

#include <climits>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvu::cli {
namespace {

// How long one wait for room in the output lasts before the writer looks whether to give up.
constexpr int kPollMs = 20;

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

TraceOutput::TraceOutput(int fd, size_t capacityBytes)
    : fd_(fd), ownFd_(ReopenNonBlocking(fd)), isSocket_(IsSocket(fd)), capacity_(capacityBytes) {
    thread_ = std::thread([this] { Run(); });
}

TraceOutput::~TraceOutput() {
    GiveUp();
    if (ownFd_ >= 0) {
        ::close(ownFd_);
    }
}

void TraceOutput::Append(const std::string& line) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (givingUp_ || queuedBytes_ + line.size() > capacity_) {
            ++lost_;
            return;
        }
        queuedBytes_ += line.size();
        queue_.push_back(line);
    }
    changed_.notify_all();
}

size_t TraceOutput::Finish(const std::function<bool()>& stopRequested,
                           std::chrono::milliseconds grace) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kSlice = std::chrono::milliseconds(5);
    bool stopSeen = false;
    Clock::time_point deadline;
    std::unique_lock<std::mutex> lock(mutex_);
    finishing_ = true;
    changed_.notify_all();
    while (!queue_.empty() || writing_) {
        if (!stopSeen && stopRequested && stopRequested()) {
            stopSeen = true;
            deadline = Clock::now() + grace;
        }
        if (stopSeen && Clock::now() >= deadline) {
            break;
        }
        changed_.wait_for(lock, kSlice);
    }
    lock.unlock();
    GiveUp();
    lock.lock();
    return lost_;
}

void TraceOutput::GiveUp() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        givingUp_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TraceOutput::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return givingUp_ || finishing_ || !queue_.empty(); });
        if (givingUp_ || (queue_.empty() && finishing_)) {
            break;
        }
        if (queue_.empty()) {
            continue;
        }
        std::string line = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= line.size();
        writing_ = true;
        lock.unlock();
        const bool written = WriteLine(line);
        lock.lock();
        writing_ = false;
        lost_ += written ? 0 : 1;
        changed_.notify_all();
    }
    lost_ += queue_.size();
    queue_.clear();
    queuedBytes_ = 0;
}

bool TraceOutput::WriteLine(const std::string& line) {
    const int fd = ownFd_ >= 0 ? ownFd_ : fd_;
    size_t done = 0;
    while (done < line.size()) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (givingUp_) {
                return false;
            }
        }
        pollfd ready = {fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, kPollMs);
        if (polled < 0 && errno != EINTR) {
            return false;
        }
        if (polled <= 0) {
            continue;
        }
        if ((ready.revents & (POLLERR | POLLNVAL)) != 0 && (ready.revents & POLLOUT) == 0) {
            return false;
        }
        // Without a non-blocking descriptor of our own, at most what a pipe takes at once
        // after reporting room.
        size_t chunk = line.size() - done;
        if (ownFd_ < 0 && !isSocket_ && chunk > PIPE_BUF) {
            chunk = PIPE_BUF;
        }
        const ssize_t n = isSocket_ ? ::send(fd, line.data() + done, chunk, MSG_DONTWAIT)
                                    : ::write(fd, line.data() + done, chunk);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace tarvu::cli
