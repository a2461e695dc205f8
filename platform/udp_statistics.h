#pragma once
// The system's own count of UDP datagrams it received but could not deliver to a socket
// (a full receive buffer among other reasons), for all programs together: Linux's
// /proc/net/snmp "Udp: InErrors", Windows' GetUdpStatistics dwInErrors. Where the completion
// port cannot tell a socket's own drops (CompletionPort::CountsSocketDrops), this is all the
// system offers.

#include <cstdint>
#include <optional>

namespace tarvu {

// Nothing when the system does not say.
std::optional<uint64_t> SystemUdpReceiveErrors();

}  // namespace tarvu
