#include "platform/pseudo_terminal.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace tarvu {
namespace {

// Milliseconds left until `deadline`, at least 0.
int Remaining(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

PseudoTerminal::~PseudoTerminal() {
    CloseFarEnd();
    CloseDeviceSide();
}

bool PseudoTerminal::Open() {
    CloseFarEnd();
    CloseDeviceSide();
    char name[128] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        master_ = slave_ = -1;
        return false;
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    devicePath_ = name;
    return true;
}

long PseudoTerminal::Read(uint8_t* buffer, size_t capacity, int timeoutMs) {
    if (master_ < 0) {
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const ssize_t got = ::read(master_, buffer, capacity);
        if (got > 0) {
            return static_cast<long>(got);
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR) {
            return -1;
        }
        pollfd wait{master_, POLLIN, 0};
        const int left = Remaining(deadline);
        if (left == 0 || (::poll(&wait, 1, left) == 0 && Remaining(deadline) == 0)) {
            return 0;
        }
    }
}

std::vector<uint8_t> PseudoTerminal::ReadUpTo(size_t n, int timeoutMs) {
    std::vector<uint8_t> got(n);
    size_t have = 0;
    while (have < n) {
        const long r = Read(got.data() + have, n - have, timeoutMs);
        if (r <= 0) {
            break;
        }
        have += static_cast<size_t>(r);
    }
    got.resize(have);
    return got;
}

bool PseudoTerminal::Write(const uint8_t* data, size_t n, int timeoutMs) {
    if (master_ < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < n) {
        const ssize_t wrote = ::write(master_, data + done, n - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd wait{master_, POLLOUT, 0};
        const int left = Remaining(deadline);
        if (left == 0) {
            return false;
        }
        ::poll(&wait, 1, left);
    }
    return true;
}

bool PseudoTerminal::SuspendOutput(bool suspended) {
    return slave_ >= 0 && ::tcflow(slave_, suspended ? TCOOFF : TCOON) == 0;
}

void PseudoTerminal::CloseFarEnd() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

void PseudoTerminal::CloseDeviceSide() {
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
}

}  // namespace tarvu
