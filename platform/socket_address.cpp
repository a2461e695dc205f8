// Socket addresses hold the port and address as the system does, big-endian in memory; the byte
// order helpers build them without the system's socket headers.
#include "platform/socket_address.h"

#include "platform/byte_order.h"

#include <cstring>

namespace tarvu {

SocketAddressV4 MakeSocketAddress(uint32_t addressNetworkOrder, uint16_t portHostOrder) {
    SocketAddressV4 result;
    result.family = kAddressFamilyInet;
    uint8_t port[2];
    StoreBe16(port, portHostOrder);
    std::memcpy(&result.portNetworkOrder, port, sizeof port);
    result.address = addressNetworkOrder;
    return result;
}

uint16_t SocketAddressPort(const SocketAddressV4& address) {
    uint8_t port[2];
    std::memcpy(port, &address.portNetworkOrder, sizeof port);
    return LoadBe16(port);
}

uint32_t LoopbackAddress() {
    uint8_t bytes[4];
    StoreBe32(bytes, 0x7F000001u);
    uint32_t address = 0;
    std::memcpy(&address, bytes, sizeof bytes);
    return address;
}

}  // namespace tarvu
