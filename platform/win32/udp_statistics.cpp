#include "platform/udp_statistics.h"

#include <winsock2.h>
// after the header above, which it builds on
#include <iphlpapi.h>

namespace tarvu {

std::optional<uint64_t> SystemUdpReceiveErrors() {
    MIB_UDPSTATS statistics{};
    if (::GetUdpStatistics(&statistics) != NO_ERROR) {
        return std::nullopt;
    }
    return statistics.dwInErrors;
}

}  // namespace tarvu
