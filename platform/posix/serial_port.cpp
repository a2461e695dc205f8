#include "platform/serial_port.h"

#include "platform/serial_custom_rate.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tarvu {
namespace {

constexpr uint32_t kWriteTimeoutBase = 19200;

struct StandardRate {
    uint32_t baud;
    speed_t constant;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool StandardRateConstant(uint32_t baud, speed_t* constant) {
    for (const StandardRate& rate : kStandardRates) {
        if (rate.baud == baud) {
            *constant = rate.constant;
            return true;
        }
    }
    return false;
}

}  // namespace

cnsSerialPort::~cnsSerialPort() {
    Close();
}

uint32_t cnsSerialPort::WriteTimeoutMultiplier(uint32_t baudRate) {
    return baudRate == 0 ? 0 : kWriteTimeoutBase / baudRate;
}

bool cnsSerialPort::Fail(const std::string& what, int error) {
    lastError_ = name_.empty() ? "serial line" : name_;
    if (!what.empty()) {
        lastError_ += ": ";
        lastError_ += what;
    }
    if (error != 0) {
        lastError_ += ": ";
        lastError_ += std::strerror(error);
    }
    Close();
    return false;
}

int cnsSerialPort::Open(const char* name, uint32_t baudRate) {
    Close();
    baudRate_ = baudRate;
    lastError_.clear();
    cancelled_ = false;
    name_ = name != nullptr ? name : "";
    if (name == nullptr || name[0] == '\0') {
        Fail("no device name", 0);
        return 0;
    }
    if (baudRate == 0) {
        Fail("baud rate 0", 0);
        return 0;
    }
    // Non-blocking, so that reads return what waits and the open does not wait for carrier.
    fd_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        Fail("", errno);
        return 0;
    }
    if (::isatty(fd_) != 1) {
        Fail("not a terminal", 0);
        return 0;
    }
    // The lock keeps out a second opener, root included; TIOCEXCL then refuses later opens
    // by other users' programs too. The exclusive mode belongs to the line, not to this
    // descriptor, and outlives it where the line stays (a pseudo-terminal whose other side is
    // open): it is set only once the lock is ours and cleared again on close, or this same
    // user could not open the line a second time.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        Fail(errno == EWOULDBLOCK ? "in use" : "lock", errno);
        return 0;
    }
    if (::ioctl(fd_, TIOCEXCL) != 0) {
        Fail("exclusive mode", errno);
        return 0;
    }
    exclusive_ = true;
    if (::tcflush(fd_, TCIOFLUSH) != 0) {
        Fail("flush", errno);
        return 0;
    }
    if (!ApplySettings(baudRate) || !RaiseModemLines()) {
        return 0;
    }
    cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd_ < 0) {
        Fail("eventfd", errno);
        return 0;
    }
    return 1;
}

bool cnsSerialPort::ApplySettings(uint32_t baudRate) {
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0) {
        return Fail("tcgetattr", errno);
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    // The descriptor is non-blocking, so reads return what the queue holds; VMIN 1 makes an
    // empty queue read as EAGAIN, leaving 0 bytes to mean a hang-up.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    speed_t constant = B0;
    const bool standard = StandardRateConstant(baudRate, &constant);
    if (standard &&
        (::cfsetispeed(&settings, constant) != 0 || ::cfsetospeed(&settings, constant) != 0)) {
        return Fail("baud rate " + std::to_string(baudRate), errno);
    }
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0) {
        return Fail("tcsetattr", errno);
    }
    if (!standard) {
        const int error = SetCustomBaudRate(fd_, baudRate);
        if (error != 0) {
            return Fail("baud rate " + std::to_string(baudRate) +
                            " is no standard rate and the device takes no other",
                        error);
        }
    }
    return true;
}

bool cnsSerialPort::RaiseModemLines() {
    // DTR first, then RTS. Lines without modem control (pseudo-terminals) refuse the request
    // as unsupported; they are used without it.
    for (int line : {TIOCM_DTR, TIOCM_RTS}) {
        if (::ioctl(fd_, TIOCMBIS, &line) != 0 && errno != ENOTTY && errno != EINVAL) {
            return Fail(line == TIOCM_DTR ? "raising DTR" : "raising RTS", errno);
        }
    }
    return true;
}

void cnsSerialPort::Close() {
    if (cancelFd_ >= 0) {
        ::close(cancelFd_);
        cancelFd_ = -1;
    }
    if (fd_ >= 0) {
        if (exclusive_) {
            ::ioctl(fd_, TIOCNXCL);
            exclusive_ = false;
        }
        ::close(fd_);
        fd_ = -1;
    }
    waitOutstanding_ = false;
}

bool cnsSerialPort::QuerySettings(SerialLineSettings* out) const {
    termios settings{};
    if (out == nullptr || fd_ < 0 || ::tcgetattr(fd_, &settings) != 0) {
        return false;
    }
    out->baudRate = CurrentBaudRate(fd_);
    const tcflag_t size = settings.c_cflag & CSIZE;
    out->dataBits = size == CS8 ? 8 : size == CS7 ? 7 : size == CS6 ? 6 : 5;
    out->parity = (settings.c_cflag & PARENB) != 0;
    out->stopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
    out->hardwareFlowControl = (settings.c_cflag & CRTSCTS) != 0;
    out->softwareFlowControl = (settings.c_iflag & (IXON | IXOFF)) != 0;
    out->raw = (settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
               (settings.c_oflag & OPOST) == 0 &&
               (settings.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) == 0;
    return true;
}

int cnsSerialPort::WaitEvent(CompletionPort& port, Overlapped* op) {
    if (fd_ < 0) {
        return 0;
    }
    if (waitOutstanding_.exchange(true)) {
        return 1;
    }
    if (port.PostReadiness(fd_, op) != 1) {
        waitOutstanding_ = false;
        return 0;
    }
    return 1;
}

long cnsSerialPort::QueuedBytes() const {
    int queued = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCINQ, &queued) != 0) {
        return -1;
    }
    return queued;
}

long cnsSerialPort::Read(uint8_t* buffer, size_t count) {
    if (fd_ < 0 || buffer == nullptr) {
        return -1;
    }
    if (count == 0) {
        return 0;
    }
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, count);
        if (got > 0) {
            return static_cast<long>(got);
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return 0;
        }
        // 0 bytes is the end of file of a hang-up; EIO is the other form of the same.
        return -1;
    }
}

int cnsSerialPort::Write(const uint8_t* data, size_t n) {
    using Clock = std::chrono::steady_clock;
    if (fd_ < 0 || (data == nullptr && n != 0)) {
        return 0;
    }
    const uint32_t multiplier = WriteTimeoutMultiplier(baudRate_);
    const bool bounded = multiplier != 0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<int64_t>(multiplier) * n);
    size_t done = 0;
    while (done < n) {
        if (cancelled_.load()) {
            return 0;
        }
        const ssize_t wrote = ::write(fd_, data + done, n - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return 0;
        }
        int waitMs = -1;
        if (bounded) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return 0;
            }
            waitMs = static_cast<int>(left.count());
        }
        pollfd waits[2] = {{fd_, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
        const int ready = ::poll(waits, 2, waitMs);
        if (ready < 0 && errno != EINTR) {
            return 0;
        }
        if ((waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return 0;
        }
    }
    return 1;
}

void cnsSerialPort::CancelWrites() {
    cancelled_ = true;
    // The counter is never drained, so every later poll of a cancelled line returns at once.
    if (cancelFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(cancelFd_, &one, sizeof one);
    }
}

}  // namespace tarvu
