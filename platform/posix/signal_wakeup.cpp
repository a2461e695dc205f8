#include "platform/signal_wakeup.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace tarvu {
namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

// Written before the handlers go in and cleared after they are gone; a lock-free atomic so
// the handler may read it.
std::atomic<int> gWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

struct sigaction gPrevious[kSignals.size()];

extern "C" void OnWakeupSignal(int signal) {
    const int saved = errno;
    const int fd = gWriteFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        // A full pipe already holds a wake-up; the byte may be lost.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

SignalWakeup::SignalWakeup() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    int expected = -1;
    if (!gWriteFd.compare_exchange_strong(expected, writeFd_)) {
        std::fputs("tarvu: a second signal wake-up was installed\n", stderr);
        std::abort();
    }
    struct sigaction action = {};
    action.sa_handler = OnWakeupSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume; the loop sees the pipe.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &action, &gPrevious[i]);
    }
}

SignalWakeup::~SignalWakeup() {
    if (readFd_ < 0) {
        return;
    }
    for (size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &gPrevious[i], nullptr);
    }
    gWriteFd.store(-1);
    ::close(writeFd_);
    ::close(readFd_);
}

int SignalWakeup::Take() {
    int last = 0;
    unsigned char bytes[16];
    while (readFd_ >= 0) {
        const ssize_t n = ::read(readFd_, bytes, sizeof bytes);
        if (n <= 0) {
            break;
        }
        last = bytes[n - 1];
    }
    return last;
}

}  // namespace tarvu
