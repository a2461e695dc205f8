#pragma once
// Packet bytes with placeholders, as written after send, reply and every ... send:
//   11 01 00 30 {n}          a counter byte that grows by one per send
//   11 {dev} 00 30 10 C9 {body}  bytes copied from the packet a rule answers
// Hexadecimal digits are read as the packet field reads them: blanks dropped, pairs regrouped,
// a last single digit is a byte of its own (7E 7F 1 is 7E 7F 01).

#include "scenario/source_text.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarvu::scenario {

enum class TemplatePart : uint8_t {
    kBytes,      // literal bytes
    kCounter,    // {n} (1 byte) or {n:K} (K bytes, little-endian, as the addresses are)
    kDevice,     // {dev}: the device address field as received
    kSecond,     // {addr2}
    kType,       // {type}
    kQualifier,  // {qual}
    kCode,       // {code}: nothing when the packet has no message code
    kBody,       // {body}
    kPacket,     // {packet}: the whole received packet
    kRange,      // {N}, {N..}, {N..M}: received bytes by offset (from 0)
};

struct TemplateItem {
    TemplatePart part = TemplatePart::kBytes;
    std::vector<uint8_t> bytes;  // kBytes
    uint8_t width = 1;           // kCounter
    uint32_t first = 0;          // kRange: first offset and last offset (inclusive)
    uint32_t last = 0;
};

// Which placeholders a template may use: a scenario has no received packet to copy from.
enum class TemplateScope { kCounterOnly, kReply };

class ByteTemplate {
public:
    std::vector<TemplateItem> items;

    // True when any item copies from a received packet.
    bool CopiesReceived() const;
    // The length of every expansion when nothing is copied.
    size_t FixedLength() const;
    // Appends the bytes for the send numbered `counter` (0 for the first), copying from
    // `received` (the plain packet a rule answers; empty in a scenario). Copies of parts the
    // packet lacks give no bytes.
    void Expand(uint64_t counter, std::span<const uint8_t> received,
                std::vector<uint8_t>& out) const;
};

// Reads `text` (starting at byte `offset` of its line). Fails on characters that are neither
// hexadecimal digits, blanks nor placeholders, on a half byte before a placeholder, on an
// unknown or (for the scope) unusable placeholder, and on an empty template.
bool ParseByteTemplate(std::string_view text, size_t offset, TemplateScope scope, ByteTemplate& out,
                       Failure& failure);

}  // namespace tarvu::scenario
