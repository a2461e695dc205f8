#include "platform/udp_socket.h"

#include "platform/sockaddr_conversion.h"
#include "platform/win32/winsock_start.h"

#include <chrono>
#include <utility>
#include <vector>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace tarvu {
namespace {

static_assert(INVALID_SOCKET == ~NativeHandle{0});

// The largest UDP payload; a receive that must report a datagram's full length takes it whole.
constexpr size_t kLargestDatagram = 65536;

SOCKET AsSocket(NativeHandle handle) {
    return static_cast<SOCKET>(handle);
}

thread_local BindFailure lastBindFailure = BindFailure::kNone;

int BindTo(NativeHandle fd, uint32_t addressNetworkOrder, uint16_t port) {
    const sockaddr_in local = ToSockaddr(MakeSocketAddress(addressNetworkOrder, port));
    if (::bind(AsSocket(fd), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) {
        lastBindFailure = BindFailure::kNone;
        return 0;
    }
    switch (::WSAGetLastError()) {
        case WSAEACCES:
            lastBindFailure = BindFailure::kAccessDenied;
            break;
        case WSAEADDRINUSE:
            lastBindFailure = BindFailure::kAddressInUse;
            break;
        default:
            lastBindFailure = BindFailure::kOther;
            break;
    }
    return -1;
}

// Waits up to `timeoutMs` for a datagram; true when one waits.
bool WaitReadable(NativeHandle fd, int timeoutMs) {
    WSAPOLLFD waitFor{};
    waitFor.fd = AsSocket(fd);
    waitFor.events = POLLRDNORM;
    return ::WSAPoll(&waitFor, 1, timeoutMs) > 0;
}

}  // namespace

BindFailure TakeLastBindFailure() {
    return std::exchange(lastBindFailure, BindFailure::kNone);
}

UdpSocket::~UdpSocket() {
    Close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, kInvalid)) {
}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, kInvalid);
    }
    return *this;
}

UdpSocket UdpSocket::Create() {
    if (!StartWindowsSockets()) {
        return UdpSocket();
    }
    // Overlapped, so that receives and sends can complete through a completion port; calls
    // without an OVERLAPPED block as usual.
    const SOCKET s =
        ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) {
        return UdpSocket();
    }
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return UdpSocket(static_cast<NativeHandle>(s));
}

void UdpSocket::Close() {
    if (fd_ != kInvalid) {
        ::closesocket(AsSocket(fd_));
        fd_ = kInvalid;
    }
}

int UdpSocket::SetBroadcast(uint32_t value) {
    const DWORD option = value;
    return ::setsockopt(AsSocket(fd_), SOL_SOCKET, SO_BROADCAST,
                        reinterpret_cast<const char*>(&option), sizeof option) == 0
               ? 0
               : -1;
}

int UdpSocket::Bind(uint16_t port) {
    return BindTo(fd_, htonl(INADDR_ANY), port);
}

int UdpSocket::BindLoopback(uint16_t port) {
    return BindTo(fd_, htonl(INADDR_LOOPBACK), port);
}

uint16_t UdpSocket::LocalPort() const {
    sockaddr_in local;
    int length = sizeof local;
    if (::getsockname(AsSocket(fd_), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

int UdpSocket::SendTo(const SocketAddressV4& destination, const uint8_t* data, size_t n) {
    const sockaddr_in to = ToSockaddr(destination);
    WSABUF buffer{static_cast<ULONG>(n), reinterpret_cast<CHAR*>(const_cast<uint8_t*>(data))};
    DWORD sent = 0;
    // A port-unreachable report left over from an earlier datagram may fail the next send
    // (WSAECONNRESET) although that datagram itself was never sent; it is tried once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::WSASendTo(AsSocket(fd_), &buffer, 1, &sent, 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to, nullptr, nullptr) == 0) {
            return kSendDone;
        }
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK || error == WSA_IO_PENDING) {
            return kSendWouldBlock;
        }
        if (error != WSAECONNRESET) {
            return kSendFailed;
        }
    }
    return kSendFailed;
}

long UdpSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, SocketAddressV4* from,
                            int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!WaitReadable(fd_, left.count() > 0 ? static_cast<int>(left.count()) : 0)) {
            return -1;
        }
        const long got = Receive(buffer, capacity, from);
        if (got >= 0) {
            return got;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        }
    }
}

long UdpSocket::Receive(uint8_t* buffer, size_t capacity, SocketAddressV4* from) {
    // Winsock does not tell a cut datagram's length, so the datagram is taken whole first.
    std::vector<uint8_t> whole(kLargestDatagram);
    for (;;) {
        sockaddr_in source;
        int length = sizeof source;
        const int got = ::recvfrom(AsSocket(fd_), reinterpret_cast<char*>(whole.data()),
                                   static_cast<int>(whole.size()), 0,
                                   reinterpret_cast<sockaddr*>(&source), &length);
        if (got >= 0) {
            std::copy(whole.begin(),
                      whole.begin() + static_cast<long>(std::min<size_t>(capacity, got)), buffer);
            if (from != nullptr) {
                *from = FromSockaddr(source);
            }
            return got;
        }
        // A port-unreachable report says nothing about the next datagram.
        if (::WSAGetLastError() != WSAECONNRESET) {
            return -1;
        }
    }
}

void DrainSocketErrors(NativeHandle fd) {
    int error = 0;
    int length = sizeof error;
    ::getsockopt(AsSocket(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
}

}  // namespace tarvu
