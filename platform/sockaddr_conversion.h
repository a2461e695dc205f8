#pragma once
// Conversions between SocketAddressV4 and the system's sockaddr_in (Winsock's on Windows);
// platform-internal.

#include "platform/socket_address.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace tarvu {

static_assert(AF_INET == kAddressFamilyInet);
static_assert(sizeof(sockaddr_in) == kSocketAddressLength);

inline sockaddr_in ToSockaddr(const SocketAddressV4& address) {
    sockaddr_in result;
    std::memset(&result, 0, sizeof result);
    result.sin_family = AF_INET;
    result.sin_port = address.portNetworkOrder;
    result.sin_addr.s_addr = address.address;
    return result;
}

inline SocketAddressV4 FromSockaddr(const sockaddr_in& address) {
    SocketAddressV4 result;
    result.family = static_cast<uint16_t>(address.sin_family);
    result.portNetworkOrder = address.sin_port;
    result.address = address.sin_addr.s_addr;
    return result;
}

}  // namespace tarvu
