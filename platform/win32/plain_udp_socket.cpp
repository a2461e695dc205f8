#include "platform/plain_udp_socket.h"

#include "platform/win32/system_text.h"
#include "platform/win32/winsock_start.h"

#include <winsock2.h>

namespace tarvu {
namespace {

SOCKET AsSocket(NativeHandle handle) {
    return static_cast<SOCKET>(handle);
}

}  // namespace

PlainUdpSocket::~PlainUdpSocket() {
    if (fd_ != kInvalidNativeHandle) {
        ::closesocket(AsSocket(fd_));
    }
}

bool PlainUdpSocket::Bind(uint16_t port, std::string& error) {
    if (fd_ != kInvalidNativeHandle) {
        error = "socket already bound";
        return false;
    }
    if (!StartWindowsSockets()) {
        error = "Windows Sockets cannot be started";
        return false;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()), "socket error");
        return false;
    }
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    // Another program's socket on the port must make this bind fail, never share the port.
    const BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()), "socket error");
        ::closesocket(s);
        return false;
    }
    fd_ = static_cast<NativeHandle>(s);
    return true;
}

uint16_t PlainUdpSocket::LocalPort() const {
    if (fd_ == kInvalidNativeHandle) {
        return 0;
    }
    sockaddr_in local = {};
    int length = sizeof local;
    if (::getsockname(AsSocket(fd_), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

int PlainUdpSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, UdpPeer& from, int timeoutMs) {
    if (fd_ == kInvalidNativeHandle) {
        return -2;
    }
    WSAPOLLFD waiter{};
    waiter.fd = AsSocket(fd_);
    waiter.events = POLLRDNORM;
    const int ready = ::WSAPoll(&waiter, 1, timeoutMs);
    if (ready == 0) {
        return -1;
    }
    if (ready < 0) {
        return -2;
    }
    sockaddr_in peer = {};
    int length = sizeof peer;
    const int n =
        ::recvfrom(AsSocket(fd_), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                   reinterpret_cast<sockaddr*>(&peer), &length);
    if (n < 0) {
        const int error = ::WSAGetLastError();
        if (error == WSAEMSGSIZE) {
            // Cut to the buffer, as the POSIX receive cuts it.
            from.address = peer.sin_addr.s_addr;
            from.port = ntohs(peer.sin_port);
            return static_cast<int>(capacity);
        }
        // An ICMP report from an earlier send, or nothing after all: try again later.
        return error == WSAECONNRESET || error == WSAEWOULDBLOCK ? -1 : -2;
    }
    from.address = peer.sin_addr.s_addr;
    from.port = ntohs(peer.sin_port);
    return n;
}

bool PlainUdpSocket::SendTo(const UdpPeer& to, const uint8_t* data, size_t n) {
    if (fd_ == kInvalidNativeHandle) {
        return false;
    }
    sockaddr_in peer = {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(to.port);
    peer.sin_addr.s_addr = to.address;
    const int sent =
        ::sendto(AsSocket(fd_), reinterpret_cast<const char*>(data), static_cast<int>(n), 0,
                 reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return sent >= 0 && static_cast<size_t>(sent) == n;
}

}  // namespace tarvu
