#include "link/main_window.h"

#include <cstring>

namespace tarvu {

int PortFieldValue(std::string_view text) {
    text = text.substr(0, 5);
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');  // at most five digits: no overflow
    }
    return negative ? -value : value;
}

uint32_t DestinationAddress(const MainWindow& window) {
    const std::array<uint8_t, 4> octets = window.ReadIpAddress();
    uint32_t address = 0;
    // Network order is the octets in memory order, first octet at the lowest address.
    std::memcpy(&address, octets.data(), 4);
    return address;
}

}  // namespace tarvu
