#pragma once
// The line a peer program (the simulator) talks on: a plain UDP socket, or a serial line read
// through a completion port. Both hand over what arrived, with the sender, and send bytes out.

#include "platform/plain_udp_socket.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarvu::cli {

class PeerLink {
public:
    virtual ~PeerLink() = default;
    // Waits up to `timeoutMs` for bytes: their count (0 is an empty datagram), -1 when none came,
    // -2 when the line failed. A serial line's sender is 0.0.0.0:0.
    virtual int Receive(uint8_t* buffer, size_t capacity, UdpPeer& from, int timeoutMs) = 0;
    // True when all bytes left.
    virtual bool Send(const UdpPeer& to, const uint8_t* data, size_t n) = 0;
    // What the line is, for messages: "UDP port 10002", "/dev/ttyUSB0 at 9600 baud".
    virtual std::string Describe() const = 0;
};

// Binds `port` (0: any free one). Null with the reason in `error`.
std::unique_ptr<PeerLink> OpenUdpPeerLink(uint16_t port, std::string& error);

// Opens the serial line. Null with the reason in `error`.
std::unique_ptr<PeerLink> OpenSerialPeerLink(const std::string& device, uint32_t baudRate,
                                             std::string& error);

}  // namespace tarvu::cli
