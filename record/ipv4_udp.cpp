// The IPv4+UDP packet a capture file holds for each datagram.
#include "record/capture_file.h"

#include <algorithm>
#include <cstring>

namespace tarvu {
namespace {

constexpr size_t kIpHeaderSize = 20;
constexpr size_t kUdpHeaderSize = 8;
constexpr size_t kMaxPayload = 65535 - kIpHeaderSize - kUdpHeaderSize;

void Put16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

// Addresses are kept in network byte order, so their bytes go out in memory order.
void PutAddress(uint8_t* out, uint32_t address) {
    std::memcpy(out, &address, 4);
}

uint16_t HeaderChecksum(const uint8_t* header, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2) {
        sum += static_cast<uint32_t>(header[i] << 8 | header[i + 1]);
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum);
}

}  // namespace

std::vector<uint8_t> BuildIpv4Udp(const UdpEndpoints& endpoints, std::span<const uint8_t> payload) {
    const size_t n = std::min(payload.size(), kMaxPayload);
    std::vector<uint8_t> packet(kIpHeaderSize + kUdpHeaderSize + n);
    uint8_t* ip = packet.data();
    ip[0] = 0x45;  // version 4, 5 words of header
    Put16(ip + 2, static_cast<uint16_t>(packet.size()));
    ip[6] = 0x40;  // don't fragment
    ip[8] = 64;    // time to live
    ip[9] = 17;    // UDP
    PutAddress(ip + 12, endpoints.sourceAddress);
    PutAddress(ip + 16, endpoints.destinationAddress);
    Put16(ip + 10, HeaderChecksum(ip, kIpHeaderSize));
    uint8_t* udp = ip + kIpHeaderSize;
    Put16(udp, endpoints.sourcePort);
    Put16(udp + 2, endpoints.destinationPort);
    Put16(udp + 4, static_cast<uint16_t>(kUdpHeaderSize + n));
    if (n != 0) {
        std::memcpy(udp + kUdpHeaderSize, payload.data(), n);
    }
    return packet;
}

}  // namespace tarvu
