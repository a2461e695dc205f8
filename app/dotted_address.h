#pragma once
// IPv4 addresses as dotted text, read the way the classic inet_addr reads them.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvu {

using Octets = std::array<uint8_t, 4>;

// Accepts a, a.b, a.b.c and a.b.c.d, each part decimal, octal (leading 0) or hex (0x);
// the last part fills the remaining bytes. Trailing blanks or tabs are allowed.
// Returns false (and leaves `out` alone) for anything else.
bool ParseDottedAddress(std::string_view text, Octets& out);

// The address of `text`, or 255.255.255.255 when it is not an address.
Octets DottedAddressOrNone(std::string_view text);

// "%d.%d.%d.%d", first octet first.
std::string FormatDottedAddress(const Octets& octets);

// "%.3d.%.3d.%.3d.%.3d   %.3d.%.3d.%.3d.%.3d": an address and its mask for the address list.
std::string FormatAddressLine(const Octets& address, const Octets& mask);

}  // namespace tarvu
