#pragma once
// A blocking IPv4 UDP socket for small tools (the echo peer), outside the engine's transport.

#include "platform/native_handle.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvu {

struct UdpPeer {
    uint32_t address = 0;  // network byte order
    uint16_t port = 0;     // host byte order
};

class PlainUdpSocket {
public:
    PlainUdpSocket() = default;
    ~PlainUdpSocket();
    PlainUdpSocket(const PlainUdpSocket&) = delete;
    PlainUdpSocket& operator=(const PlainUdpSocket&) = delete;

    // Binds to `port` on all local addresses (0: the kernel chooses). On failure returns false
    // and puts the system's reason into `error`.
    bool Bind(uint16_t port, std::string& error);

    // The bound port (useful after Bind(0)); 0 when not bound.
    uint16_t LocalPort() const;

    // Waits up to `timeoutMs` for one datagram. Returns its size (0 is a valid empty
    // datagram), -1 when none arrived in time, -2 on an error.
    int ReceiveFrom(uint8_t* buffer, size_t capacity, UdpPeer& from, int timeoutMs);

    // Returns true when the whole datagram was handed to the kernel.
    bool SendTo(const UdpPeer& to, const uint8_t* data, size_t n);

private:
    NativeHandle fd_ = kInvalidNativeHandle;
};

}  // namespace tarvu
