#pragma once
// A pattern over a packet's bytes: hexadecimal bytes where ?? is any byte, A? and ?A a half
// byte, and a trailing * any rest (11 01 ?? 30 *). Without the * the packet has exactly the
// pattern's length. Digits are grouped as the packet field groups them: blanks dropped, pairs.

#include "scenario/source_text.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarvu::scenario {

// One byte position: the byte matches when (byte & mask) == value.
struct MaskedByte {
    uint8_t value = 0;
    uint8_t mask = 0xFF;

    bool Matches(uint8_t byte) const { return (byte & mask) == value; }
};

struct BytePattern {
    std::vector<MaskedByte> bytes;
    bool anyRest = false;

    bool Matches(std::span<const uint8_t> packet) const;
};

// One byte position from two characters (hex digits or ?); false for anything else.
bool ParseMaskedByte(char high, char low, MaskedByte& out);

// Reads `text` (at byte `offset` of its line). Fails on characters other than hex digits, ?,
// blanks and a last *; an empty pattern is refused (* alone matches any packet).
bool ParseBytePattern(std::string_view text, size_t offset, BytePattern& out, Failure& failure);

}  // namespace tarvu::scenario
