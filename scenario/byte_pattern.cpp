#include "scenario/byte_pattern.h"

#include "link/hex_text.h"

namespace tarvu::scenario {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsPatternChar(char c) {
    return c == '?' || HexDigitValue(c) >= 0;
}

}  // namespace

bool BytePattern::Matches(std::span<const uint8_t> packet) const {
    if (anyRest ? packet.size() < bytes.size() : packet.size() != bytes.size()) {
        return false;
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (!bytes[i].Matches(packet[i])) {
            return false;
        }
    }
    return true;
}

bool ParseMaskedByte(char high, char low, MaskedByte& out) {
    if (!IsPatternChar(high) || !IsPatternChar(low)) {
        return false;
    }
    out.value = 0;
    out.mask = 0;
    if (high != '?') {
        out.value = static_cast<uint8_t>(HexDigitValue(high) << 4);
        out.mask = 0xF0;
    }
    if (low != '?') {
        out.value = static_cast<uint8_t>(out.value | HexDigitValue(low));
        out.mask = static_cast<uint8_t>(out.mask | 0x0F);
    }
    return true;
}

bool ParseBytePattern(std::string_view text, size_t offset, BytePattern& out, Failure& failure) {
    out = BytePattern{};
    char pending = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsBlank(c)) {
            continue;
        }
        if (c == '*') {
            size_t rest = i + 1;
            while (rest < text.size() && IsBlank(text[rest])) {
                ++rest;
            }
            if (rest != text.size()) {
                failure = {offset + i, 1, "* stands only at the end, for any rest"};
                return false;
            }
            out.anyRest = true;
            break;
        }
        if (!IsPatternChar(c)) {
            failure = {offset + i, 1, "not a hexadecimal digit or ?"};
            return false;
        }
        if (pending == 0) {
            pending = c;
        } else {
            MaskedByte byte;
            ParseMaskedByte(pending, c, byte);
            out.bytes.push_back(byte);
            pending = 0;
        }
    }
    if (pending != 0) {
        // As the packet field reads it: a last single character is a byte of its own.
        MaskedByte byte;
        ParseMaskedByte(pending == '?' ? '?' : '0', pending, byte);
        out.bytes.push_back(byte);
    }
    if (out.bytes.empty() && !out.anyRest) {
        failure = {offset, text.size(), "no pattern bytes"};
        return false;
    }
    return true;
}

}  // namespace tarvu::scenario
