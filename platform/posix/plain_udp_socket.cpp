#include "platform/plain_udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvu {

PlainUdpSocket::~PlainUdpSocket() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool PlainUdpSocket::Bind(uint16_t port, std::string& error) {
    if (fd_ >= 0) {
        error = "socket already bound";
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

uint16_t PlainUdpSocket::LocalPort() const {
    if (fd_ < 0) {
        return 0;
    }
    sockaddr_in local = {};
    socklen_t length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

int PlainUdpSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, UdpPeer& from, int timeoutMs) {
    if (fd_ < 0) {
        return -2;
    }
    pollfd waiter = {fd_, POLLIN, 0};
    const int ready = ::poll(&waiter, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) {
        return -1;
    }
    if (ready < 0) {
        return -2;
    }
    sockaddr_in peer = {};
    socklen_t length = sizeof peer;
    const ssize_t n = ::recvfrom(fd_, buffer, capacity, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&peer), &length);
    if (n < 0) {
        // An ICMP error from an earlier send, or the datagram went away: try again later.
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED ? -1 : -2;
    }
    from.address = peer.sin_addr.s_addr;
    from.port = ntohs(peer.sin_port);
    return static_cast<int>(n);
}

bool PlainUdpSocket::SendTo(const UdpPeer& to, const uint8_t* data, size_t n) {
    if (fd_ < 0) {
        return false;
    }
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(to.port);
    peer.sin_addr.s_addr = to.address;
    const ssize_t sent =
        ::sendto(fd_, data, n, 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return sent >= 0 && static_cast<size_t>(sent) == n;
}

}  // namespace tarvu
