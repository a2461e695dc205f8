#include "link/packet_decode.h"

#include <algorithm>

namespace tarvu {
namespace {

constexpr uint8_t kEncryptedBit = 0x80;

// The low 8 bytes of a little-endian field.
uint64_t LittleEndian(std::span<const uint8_t> bytes) {
    uint64_t value = 0;
    for (size_t i = std::min<size_t>(bytes.size(), 8); i > 0; --i) {
        value = (value << 8) | bytes[i - 1];
    }
    return value;
}

}  // namespace

DecodedPacket DecodePacket(std::span<const uint8_t> bytes) {
    DecodedPacket packet;
    if (bytes.empty()) {
        return packet;
    }
    const uint8_t lengthByte = bytes[0];
    const bool encrypted = (lengthByte & kEncryptedBit) != 0;
    // Encrypted headers keep D in bits 6-4 and S in bits 2-0; bit 3 carries nothing.
    packet.deviceLength = static_cast<uint8_t>((lengthByte >> 4) & 0x07);
    packet.secondLength = static_cast<uint8_t>(lengthByte & (encrypted ? 0x07 : 0x0F));
    const size_t addressesEnd = 1u + packet.deviceLength + packet.secondLength;
    if (bytes.size() < addressesEnd) {
        return packet;
    }
    packet.deviceField = bytes.subspan(1, packet.deviceLength);
    packet.secondField = bytes.subspan(1u + packet.deviceLength, packet.secondLength);
    packet.deviceAddress = LittleEndian(packet.deviceField);
    packet.secondAddress = LittleEndian(packet.secondField);
    if (encrypted) {
        packet.shape = PacketShape::kEncrypted;
        packet.bodyOffset = addressesEnd;
        packet.bodyLength = bytes.size() - addressesEnd;
        return packet;
    }
    if (bytes.size() < addressesEnd + 2) {
        return packet;
    }
    packet.typeByte = bytes[addressesEnd];
    packet.qualifier = bytes[addressesEnd + 1];
    // Only the class (high nibble) of the type byte decides, as when the engine parses.
    packet.hasMessageCode =
        (packet.typeByte & 0xF0) == 0x30 && packet.qualifier == kQualifierMessageCode;
    size_t headerLength = addressesEnd + 2;
    if (packet.hasMessageCode) {
        if (bytes.size() < headerLength + 1) {
            packet.hasMessageCode = false;
            return packet;
        }
        packet.messageCode = bytes[headerLength];
        ++headerLength;
    }
    packet.shape = PacketShape::kPlain;
    packet.bodyOffset = headerLength;
    packet.bodyLength = bytes.size() - headerLength;
    return packet;
}

}  // namespace tarvu
