#include "platform/socket_address.h"

#include <winsock2.h>

namespace tarvu {

SocketAddressV4 MakeSocketAddress(uint32_t addressNetworkOrder, uint16_t portHostOrder) {
    SocketAddressV4 result;
    result.family = kAddressFamilyInet;
    result.portNetworkOrder = htons(portHostOrder);
    result.address = addressNetworkOrder;
    return result;
}

uint16_t SocketAddressPort(const SocketAddressV4& address) {
    return ntohs(address.portNetworkOrder);
}

uint32_t LoopbackAddress() {
    return htonl(INADDR_LOOPBACK);
}

}  // namespace tarvu
