#include "platform/adapters.h"

#include <winsock2.h>
// after the header above, which it builds on
#include <iphlpapi.h>
#include <vector>

namespace tarvu {
namespace {

// "a.b.c.d" into four octets, first octet first; false for anything else.
bool ParseDotted(const char* text, std::array<uint8_t, 4>* out) {
    unsigned parts[4] = {};
    int index = 0;
    bool digit = false;
    for (const char* p = text;; ++p) {
        if (*p >= '0' && *p <= '9') {
            parts[index] = parts[index] * 10 + static_cast<unsigned>(*p - '0');
            if (parts[index] > 255) {
                return false;
            }
            digit = true;
        } else if ((*p == '.' && index < 3) || (*p == '\0' && index == 3)) {
            if (!digit) {
                return false;
            }
            if (*p == '\0') {
                break;
            }
            ++index;
            digit = false;
        } else {
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) {
        (*out)[i] = static_cast<uint8_t>(parts[i]);
    }
    return true;
}

}  // namespace

int ListAdapterAddresses(std::vector<AdapterAddress>* out) {
    out->clear();
    // The adapter list grows between the size query and the call on a busy machine; the size
    // the system asks for is tried a few times.
    ULONG size = 16 * sizeof(IP_ADAPTER_INFO);
    std::vector<uint8_t> buffer;
    DWORD result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.assign(size, 0);
        result = ::GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
    }
    if (result == ERROR_NO_DATA) {
        return kAdaptersNone;
    }
    if (result != ERROR_SUCCESS) {
        return kAdaptersFailed;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        for (const IP_ADDR_STRING* ip = &adapter->IpAddressList; ip != nullptr; ip = ip->Next) {
            AdapterAddress entry;
            entry.adapter = adapter->Description;
            if (!ParseDotted(ip->IpAddress.String, &entry.address) ||
                !ParseDotted(ip->IpMask.String, &entry.mask)) {
                continue;
            }
            entry.loopback = adapter->Type == MIB_IF_TYPE_LOOPBACK;
            out->push_back(entry);
        }
    }
    return out->empty() ? kAdaptersNone : kAdaptersOk;
}

}  // namespace tarvu
