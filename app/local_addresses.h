#pragma once
// The local adapters' IPv4 addresses and masks for the dialog's address list.

#include "app/dotted_address.h"

#include <functional>
#include <vector>

namespace tarvu {

struct LocalAddress {
    Octets address = {};
    Octets mask = {};
};

// Fills `out` in adapter order; false when the system cannot be asked.
using AddressQuery = std::function<bool(std::vector<LocalAddress>& out)>;

// The system's adapters.
bool QueryLocalAddresses(std::vector<LocalAddress>& out);

}  // namespace tarvu
