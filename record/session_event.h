#pragma once
// One traced block as the session record keeps it: its bytes, where it went or came from,
// when, and the trace line it gave.

#include <cstdint>
#include <string>
#include <vector>

namespace tarvu {

struct SessionEvent {
    // Since the Unix epoch: when a received datagram reached the socket, if the system told,
    // else when the block was traced.
    int64_t microseconds = 0;
    int direction = 0;        // 0 = received, otherwise sent
    int stage = 0;            // 0 = block as sent or received, otherwise a frame coded or decoded
    uint32_t address = 0;     // peer IPv4, network byte order
    uint16_t port = 0;        // peer port
    uint16_t localPort = 0;   // this side's port when known at trace time, else 0
    uint32_t wireLength = 0;  // the datagram's length as it arrived when `bytes` is cut, else 0
    std::vector<uint8_t> bytes;
    std::string line;  // ends in "\n"

    size_t Footprint() const { return sizeof(SessionEvent) + bytes.size() + line.size(); }
};

}  // namespace tarvu
