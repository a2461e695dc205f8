#pragma once
// A packet to send, written as bytes (a ByteTemplate) or as fields:
//   send dev=01 addr2=00 type=30 qual=10 code=ca_RELOCK body=01 00 D1
// Built from fields, the length byte comes from the address fields, each written in its
// shortest width, least significant byte first. An address left out (or given as -) has no
// field; type defaults to 30, qual to 10 with a code and 00 without.

#include "scenario/byte_template.h"
#include "scenario/source_text.h"

#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace tarvu::scenario {

struct FieldPacket {
    struct Address {
        enum class Kind { kAbsent, kValue, kCopy } kind = Kind::kAbsent;
        uint32_t value = 0;
    };
    struct Byte {
        enum class Kind { kNone, kValue, kCopy } kind = Kind::kNone;
        uint8_t value = 0;
    };
    Address device;
    Address second;
    Byte type;
    Byte qualifier;
    Byte code;
    ByteTemplate body;  // no items: no body
};

class PacketBuilder {
public:
    std::variant<ByteTemplate, FieldPacket> form;

    bool CopiesReceived() const;
    // Appends the packet for send number `counter`, copying from `received` (see ByteTemplate).
    void Build(uint64_t counter, std::span<const uint8_t> received,
               std::vector<uint8_t>& out) const;
};

// Reads tokens [first, last) of `line`: fields when the first token is NAME=VALUE, else bytes.
// Fails where the text is wrong, and on a code given with a type or qualifier that cannot carry
// one (class 3 with qualifier 10 announces a code).
bool ParsePacketBuilder(const SourceLine& line, size_t first, size_t last, TemplateScope scope,
                        PacketBuilder& out, Failure& failure);

}  // namespace tarvu::scenario
