#pragma once
// What expect and on match: a byte pattern (11 01 ?? 30 *) or fields (code=A3 dev=01), where
// a field left out matches anything. Field patterns take the packet apart as the decoded trace
// line does: dev and addr2 compare the address values whatever their width (- for no field),
// type, qual and code one byte each (half bytes with ?, code also by catalogue name), body a
// byte pattern (- for none). A field that the packet lacks (too short, encrypted) does not
// match.

#include "scenario/byte_pattern.h"
#include "scenario/source_text.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace tarvu::scenario {

struct FieldPattern {
    struct Address {
        bool absent = false;  // dev=-: the packet has no such field
        uint64_t value = 0;
    };
    std::optional<Address> device;
    std::optional<Address> second;
    std::optional<MaskedByte> type;
    std::optional<MaskedByte> qualifier;
    std::optional<MaskedByte> code;
    std::optional<BytePattern> body;

    bool Matches(std::span<const uint8_t> packet) const;
};

// The key the rule index sorts packets by: the message code, or kNoCodeKey for a packet
// without one (short, encrypted, not class 3 with qualifier 10).
constexpr int kNoCodeKey = 256;
int PacketCodeKey(std::span<const uint8_t> packet);

struct PacketPattern {
    std::variant<BytePattern, FieldPattern> form;
    std::string text;  // as written, for messages

    bool Matches(std::span<const uint8_t> packet) const;
    // The one PacketCodeKey every matching packet has, or none when packets of several keys
    // may match.
    std::optional<int> CodeKey() const;
};

// Reads tokens [first, last) of `line`: fields when the first token is NAME=VALUE, else a byte
// pattern.
bool ParsePacketPattern(const SourceLine& line, size_t first, size_t last, PacketPattern& out,
                        Failure& failure);

}  // namespace tarvu::scenario
