#include "app/dotted_address.h"

#include <cstdio>
#include <vector>

namespace tarvu {
namespace {

int DigitValue(char c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

// One part with its base prefix; at least one digit, value within 32 bits.
bool ParsePart(std::string_view part, uint64_t& value) {
    unsigned base = 10;
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        base = 16;
        part.remove_prefix(2);
    } else if (part.size() >= 2 && part[0] == '0') {
        base = 8;
        part.remove_prefix(1);
    }
    if (part.empty()) {
        return false;
    }
    value = 0;
    for (char c : part) {
        const int digit = DigitValue(c, base);
        if (digit < 0) {
            return false;
        }
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFu) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseDottedAddress(std::string_view text, Octets& out) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    std::vector<uint64_t> parts;
    size_t start = 0;
    while (true) {
        const size_t dot = text.find('.', start);
        const std::string_view part = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        uint64_t value = 0;
        if (parts.size() == 4 || !ParsePart(part, value)) {
            return false;
        }
        parts.push_back(value);
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    // Every part but the last is one byte; the last fills the bytes that remain.
    const size_t leading = parts.size() - 1;
    for (size_t i = 0; i < leading; ++i) {
        if (parts[i] > 0xFF) {
            return false;
        }
    }
    const unsigned lastBits = static_cast<unsigned>(8 * (4 - leading));
    if (lastBits < 32 && parts.back() >> lastBits != 0) {
        return false;
    }
    uint32_t address = 0;
    for (size_t i = 0; i < leading; ++i) {
        address |= static_cast<uint32_t>(parts[i]) << (24 - 8 * i);
    }
    address |= static_cast<uint32_t>(parts.back());
    out = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
           static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    return true;
}

Octets DottedAddressOrNone(std::string_view text) {
    Octets octets = {255, 255, 255, 255};
    ParseDottedAddress(text, octets);
    return octets;
}

std::string FormatDottedAddress(const Octets& octets) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
    return text;
}

std::string FormatAddressLine(const Octets& address, const Octets& mask) {
    char text[40];
    std::snprintf(text, sizeof text, "%.3d.%.3d.%.3d.%.3d   %.3d.%.3d.%.3d.%.3d", address[0],
                  address[1], address[2], address[3], mask[0], mask[1], mask[2], mask[3]);
    return text;
}

}  // namespace tarvu
