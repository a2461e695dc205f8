#include "platform/adapters.h"

#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace tarvu {
namespace {

std::array<uint8_t, 4> Octets(const sockaddr* address) {
    std::array<uint8_t, 4> octets = {};
    if (address != nullptr && address->sa_family == AF_INET) {
        sockaddr_in in;
        std::memcpy(&in, address, sizeof in);
        // s_addr is in network order: its bytes in memory are the octets, first one first.
        std::memcpy(octets.data(), &in.sin_addr.s_addr, 4);
    }
    return octets;
}

}  // namespace

int ListAdapterAddresses(std::vector<AdapterAddress>* out) {
    out->clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return kAdaptersFailed;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        AdapterAddress item;
        item.adapter = entry->ifa_name != nullptr ? entry->ifa_name : "";
        item.address = Octets(entry->ifa_addr);
        item.mask = Octets(entry->ifa_netmask);
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        out->push_back(std::move(item));
    }
    ::freeifaddrs(list);
    return out->empty() ? kAdaptersNone : kAdaptersOk;
}

}  // namespace tarvu
