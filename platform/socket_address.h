#pragma once
// The 16-byte IPv4 socket address of a transport operation, held as plain fields so that code
// above the platform layer never touches the system's socket types.

#include <cstdint>

namespace tarvu {

struct SocketAddressV4 {
    uint16_t family = 0;            // kAddressFamilyInet once filled
    uint16_t portNetworkOrder = 0;  // as in sockaddr_in: big-endian in memory
    uint32_t address = 0;           // network byte order
    uint8_t zero[8] = {};
};
static_assert(sizeof(SocketAddressV4) == 16);

constexpr uint16_t kAddressFamilyInet = 2;
constexpr uint32_t kSocketAddressLength = 16;

// From an address in network order and a port in host order (the port goes through htons).
SocketAddressV4 MakeSocketAddress(uint32_t addressNetworkOrder, uint16_t portHostOrder);
// The port in host order (through ntohs).
uint16_t SocketAddressPort(const SocketAddressV4& address);
// 127.0.0.1 in network order.
uint32_t LoopbackAddress();

}  // namespace tarvu
