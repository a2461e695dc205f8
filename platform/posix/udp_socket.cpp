#include "platform/udp_socket.h"

#include "platform/sockaddr_conversion.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace tarvu {
namespace {

thread_local BindFailure lastBindFailure = BindFailure::kNone;

int BindTo(int fd, uint32_t addressNetworkOrder, uint16_t port) {
    const sockaddr_in local = ToSockaddr(MakeSocketAddress(addressNetworkOrder, port));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) {
        lastBindFailure = BindFailure::kNone;
        return 0;
    }
    switch (errno) {
        case EACCES:
        case EPERM:
            lastBindFailure = BindFailure::kAccessDenied;
            break;
        case EADDRINUSE:
            lastBindFailure = BindFailure::kAddressInUse;
            break;
        default:
            lastBindFailure = BindFailure::kOther;
            break;
    }
    return -1;
}

}  // namespace

BindFailure TakeLastBindFailure() {
    return std::exchange(lastBindFailure, BindFailure::kNone);
}

UdpSocket::~UdpSocket() {
    Close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {
}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

UdpSocket UdpSocket::Create() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        return UdpSocket();
    }
    // Without IP_RECVERR an unconnected Linux socket never reports port unreachable.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    return UdpSocket(fd);
}

void UdpSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int UdpSocket::SetBroadcast(uint32_t value) {
    const int option = static_cast<int>(value);
    return ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &option, sizeof option) == 0 ? 0 : -1;
}

int UdpSocket::Bind(uint16_t port) {
    return BindTo(fd_, htonl(INADDR_ANY), port);
}

int UdpSocket::BindLoopback(uint16_t port) {
    return BindTo(fd_, htonl(INADDR_LOOPBACK), port);
}

uint16_t UdpSocket::LocalPort() const {
    sockaddr_in local;
    socklen_t length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

int UdpSocket::SendTo(const SocketAddressV4& destination, const uint8_t* data, size_t n) {
    const sockaddr_in to = ToSockaddr(destination);
    // A port-unreachable report left over from an earlier datagram is returned by the next
    // send and cleared by it; that datagram itself was never sent, so it is tried once more.
    bool retried = false;
    for (;;) {
        const ssize_t sent =
            ::sendto(fd_, data, n, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent >= 0) {
            return kSendDone;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == ECONNREFUSED && !retried) {
            retried = true;
            continue;
        }
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? kSendWouldBlock : kSendFailed;
    }
}

long UdpSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, SocketAddressV4* from,
                            int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waitFor{fd_, POLLIN, 0};
        const int ready =
            ::poll(&waitFor, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return -1;
        }
        sockaddr_in source;
        socklen_t length = sizeof source;
        const ssize_t got = ::recvfrom(fd_, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&source), &length);
        if (got >= 0) {
            if (from != nullptr) {
                *from = FromSockaddr(source);
            }
            return static_cast<long>(got);
        }
        if ((waitFor.revents & POLLERR) != 0) {
            DrainSocketErrors(fd_);  // port-unreachable reports say nothing about the next datagram
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR &&
                   errno != ECONNREFUSED) {
            return -1;
        }
    }
}

long UdpSocket::Receive(uint8_t* buffer, size_t capacity, SocketAddressV4* from) {
    for (;;) {
        sockaddr_in source;
        socklen_t length = sizeof source;
        const ssize_t got = ::recvfrom(fd_, buffer, capacity, MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&source), &length);
        if (got >= 0) {
            if (from != nullptr) {
                *from = FromSockaddr(source);
            }
            return static_cast<long>(got);
        }
        if (errno != EINTR && errno != ECONNREFUSED) {
            return -1;
        }
    }
}

void DrainSocketErrors(int fd) {
    uint8_t scratch[64];
    uint8_t control[512];
    for (;;) {
        iovec part{scratch, sizeof scratch};
        msghdr message;
        std::memset(&message, 0, sizeof message);
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
            break;
        }
    }
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);  // clears the pending error
}

}  // namespace tarvu
