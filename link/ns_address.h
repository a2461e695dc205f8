#pragma once
// The peer of a transport operation: IPv4 address in network byte order, port in host order.

#include <cstdint>

namespace tarvu {

struct nsAddress {
    uint32_t address = 0;  // network byte order, as in sockaddr_in
    uint16_t port = 0;     // host byte order
};

}  // namespace tarvu
