#include "app/local_addresses.h"

#include "platform/adapters.h"

namespace tarvu {

bool QueryLocalAddresses(std::vector<LocalAddress>& out) {
    std::vector<AdapterAddress> adapters;
    if (ListAdapterAddresses(&adapters) != kAdaptersOk) {
        return false;
    }
    for (const AdapterAddress& entry : adapters) {
        // The adapter list of the original system has no loopback adapter.
        if (!entry.loopback) {
            out.push_back({entry.address, entry.mask});
        }
    }
    // No adapter at all is the same failure as a query that cannot be made.
    return !out.empty();
}

}  // namespace tarvu
