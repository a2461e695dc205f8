#pragma once
// The machine's IPv4 addresses and their masks, adapter by adapter.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvu {

struct AdapterAddress {
    std::string adapter;             // interface name
    std::array<uint8_t, 4> address;  // first octet first
    std::array<uint8_t, 4> mask;     // first octet first
    bool loopback = false;           // the loopback interface, which the Windows adapter list omits
};

constexpr int kAdaptersOk = 0;
constexpr int kAdaptersNone = 1;    // the system lists no IPv4 address at all
constexpr int kAdaptersFailed = 2;  // the system could not be asked

// Fills `out` (cleared first) in the system's order, loopback included and flagged.
int ListAdapterAddresses(std::vector<AdapterAddress>* out);

}  // namespace tarvu
