#pragma once
// A link packet taken apart for people: which header fields it has and where its body lies.
// Works on the bytes as they came, of any length and content, without copying them and
// without ever looking past the last byte.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvu {

enum class PacketShape : uint8_t {
    kPlain,      // every header field present
    kEncrypted,  // bit 7 of the length byte: addresses in clear, the rest ciphered
    kShort,      // fewer bytes than its header needs (no bytes at all included)
};

struct DecodedPacket {
    PacketShape shape = PacketShape::kShort;
    // Address field lengths as the length byte states them: a plain header states up to 7
    // bytes for the device address and up to 15 for the second one, an encrypted header up to
    // 7 for each.
    uint8_t deviceLength = 0;
    uint8_t secondLength = 0;
    // The fields' bytes as they came (least significant first); empty when absent or cut off.
    std::span<const uint8_t> deviceField;
    std::span<const uint8_t> secondField;
    // The fields' little-endian values, whole for fields of up to 8 bytes; of a longer field
    // only its low 8 bytes (the field's bytes above give it whole). 0 when absent.
    uint64_t deviceAddress = 0;
    uint64_t secondAddress = 0;
    // Plain packets only.
    uint8_t typeByte = 0;
    uint8_t qualifier = 0;
    bool hasMessageCode = false;  // class 3 (type byte 0x3?) with qualifier 0x10
    uint8_t messageCode = 0;
    // Plain: the bytes after the header. Encrypted: the cipher text after the addresses.
    size_t bodyOffset = 0;
    size_t bodyLength = 0;
};

// Qualifier that announces a message code in a class-3 packet.
constexpr uint8_t kQualifierMessageCode = 0x10;

DecodedPacket DecodePacket(std::span<const uint8_t> bytes);

}  // namespace tarvu
