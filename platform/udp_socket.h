#pragma once
// An IPv4 UDP socket. The descriptor stays in blocking mode, so a send returns once the system
// has taken the datagram; receives that must not block pass their own non-blocking flag.
// Port-unreachable reports (ICMP) are switched on so that a receive can see them, as the
// completion port reports them on a posted receive.

#include "platform/native_handle.h"
#include "platform/socket_address.h"

#include <cstddef>
#include <cstdint>

namespace tarvu {

// Results of UdpSocket::SendTo.
constexpr int kSendDone = 0;
constexpr int kSendFailed = -1;
constexpr int kSendWouldBlock = -2;

// Why a bind failed, in terms the application can act on.
enum class BindFailure {
    kNone,          // the last bind succeeded, or none was tried
    kAccessDenied,  // the port needs privileges the process lacks (ports below 1024)
    kAddressInUse,  // another socket holds the port
    kOther,
};

// The outcome of the last Bind or BindLoopback on the calling thread; taking it resets it to
// kNone, so a caller can tell what one operation of its own met.
BindFailure TakeLastBindFailure();

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // A new unbound socket; Valid() is false when the system refused one.
    static UdpSocket Create();

    bool Valid() const { return fd_ != kInvalid; }
    // The descriptor, for association with a completion port.
    NativeHandle Handle() const { return fd_; }
    void Close();

    // SO_BROADCAST with the given 4-byte value. 0 or -1.
    int SetBroadcast(uint32_t value);
    // Binds to INADDR_ANY and `port` (0: the kernel picks one, see LocalPort). 0 or -1; a port
    // in use by another socket fails (no address sharing is requested).
    int Bind(uint16_t port);
    // Binds to 127.0.0.1 and `port`; for loopback peers.
    int BindLoopback(uint16_t port);
    // The bound port in host order, 0 when unbound or on failure.
    uint16_t LocalPort() const;

    // One datagram from `data`: kSendDone, kSendWouldBlock or kSendFailed (for instance a
    // broadcast destination without SO_BROADCAST).
    int SendTo(const SocketAddressV4& destination, const uint8_t* data, size_t n);

    // Waits up to `timeoutMs` for one datagram. Returns its full length (which may exceed
    // `capacity`; only `capacity` bytes are stored), or -1 on time-out or error.
    long ReceiveFrom(uint8_t* buffer, size_t capacity, SocketAddressV4* from, int timeoutMs);
    // Blocks until one datagram arrives; its full length, or -1 on error.
    long Receive(uint8_t* buffer, size_t capacity, SocketAddressV4* from);

private:
#ifdef _WIN32
    static constexpr NativeHandle kInvalid = ~NativeHandle{0};  // INVALID_SOCKET
#else
    static constexpr NativeHandle kInvalid = -1;
#endif
    explicit UdpSocket(NativeHandle fd) : fd_(fd) {
    }
    NativeHandle fd_ = kInvalid;
};

// Empties a socket's queue of port-unreachable reports and clears its pending error, so that a
// readiness wait on it stops reporting an error condition.
void DrainSocketErrors(NativeHandle fd);

}  // namespace tarvu
