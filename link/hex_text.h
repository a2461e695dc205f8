#pragma once
// Hexadecimal byte text: two upper-case digits per byte, single blanks between bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvu {

// 0..15 for a hexadecimal digit in either case, -1 for anything else.
int HexDigitValue(char c);

// "7E 7F" for {0x7E, 0x7F}; empty for no bytes.
std::string FormatHexBytes(const uint8_t* data, size_t n);
inline std::string FormatHexBytes(const std::vector<uint8_t>& bytes) {
    return FormatHexBytes(bytes.data(), bytes.size());
}

// Strict parse for command-line arguments: hex digits in either case, blanks (and tabs)
// allowed anywhere, an even number of digits. On failure returns false and says in `error`
// which character is wrong and where.
bool ParseHexStrict(std::string_view text, std::vector<uint8_t>& out, std::string& error);

}  // namespace tarvu
