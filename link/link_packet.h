#pragma once
// Link packets in memory: the owned byte buffer plus the positions of the header parts and the
// decoded address values.
//
// Plain packet layout (D and S are the two nibbles of byte 0):
//   0              length byte: bits 7-4 D, bits 3-0 S
//   1 .. D         device address, little-endian (absent when D = 0)
//   D+1 .. D+S     second address, little-endian (absent when S = 0)
//   D+S+1          type byte (high nibble: packet class)
//   D+S+2          qualifier byte
//   D+S+3          message code, only for class 3 with qualifier 0x10
//   then           body
// A CipherPacket has the same layout with 3-bit lengths: bit 7 marks an encrypted packet,
// bits 6-4 hold D, bit 3 is kept as it is, bits 2-0 hold S.
//
// Every position the record hands out lies inside its fixed-capacity buffer, whatever the
// bytes say: a header claims at most 4 + 15 + 15 bytes. Positions may lie past Length() when a
// packet is shorter than its header; they then point at buffer bytes beyond the packet (zero
// unless earlier content was left there).
//
// Address values are written with the fewest bytes that hold them (1 to 4). A parsed header
// may claim up to 15 (7 for a CipherPacket) bytes for a field; such a field's value is that of
// its first 4 bytes, i.e. the little-endian number taken modulo 2^32.
//
// Records own their buffers and are moved, never copied implicitly (Clone() copies). A
// moved-from record has no buffer: it counts as empty, its pointers are null, Length() is 0.

#include "link/engine_config.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace tarvu {

// Bytes needed to write an address value: 1 below 2^8 (0 included), 2 below 2^16,
// 3 below 2^24, else 4.
constexpr size_t AddressFieldSize(uint32_t value) {
    return value < 0x100u ? 1 : value < 0x10000u ? 2 : value < 0x1000000u ? 3 : 4;
}

// The record shared by LinkPacket (Capacity 512, 4-bit lengths) and CipherPacket
// (Capacity 1024, 3-bit lengths).
template <size_t Capacity, unsigned FieldBits>
class PacketImage {
public:
    static constexpr size_t kCapacity = Capacity;
    // The largest address length a header can state.
    static constexpr size_t kMaxFieldLength = (size_t{1} << FieldBits) - 1;
    static_assert(Capacity > 4 + 2 * kMaxFieldLength, "every header position must fit");
    static_assert(Capacity <= 0xFFFF, "the length is 16-bit");

    // An empty packet: length byte 0x00 and length 1, the start of a packet built field by
    // field.
    PacketImage();
    PacketImage(PacketImage&& other) noexcept;
    PacketImage& operator=(PacketImage&& other) noexcept;
    PacketImage(const PacketImage&) = delete;
    PacketImage& operator=(const PacketImage&) = delete;
    ~PacketImage();

    // Replaces the content with n bytes (n = 0 gives the one-byte packet 00; more than the
    // capacity keeps the first kCapacity bytes) and computes the header positions and the
    // addresses from the length byte. Does not check that n covers the header.
    void Assign(const uint8_t* bytes, size_t n);

    // The buffer (its first byte is the length byte), kCapacity bytes; null when moved from.
    uint8_t* Data() { return buffer_.get(); }
    const uint8_t* Data() const { return buffer_.get(); }
    uint8_t* Header() { return buffer_.get(); }
    const uint8_t* Header() const { return buffer_.get(); }
    uint16_t Length() const { return length_; }
    bool Empty() const { return !buffer_ || length_ == 0; }

    // Sets the count of valid bytes, at most kCapacity; returns the new length. Bytes between
    // the old and the new length keep whatever the buffer held.
    uint16_t SetLength(size_t n);
    // Appends up to n bytes; returns false when the capacity cut the bytes short (or there is
    // no buffer).
    bool Append(const uint8_t* bytes, size_t n);
    bool Append(uint8_t byte) { return Append(&byte, 1); }

    // Address field lengths as the length byte states them (0 when empty).
    size_t DeviceFieldLength() const;
    size_t SecondFieldLength() const;

    // Positions of the header parts, recomputed from the current field lengths. All are null
    // when there is no buffer; MessageCode() is also null when the packet carries no code.
    uint8_t* TypeByte() { return At(TypeOffset()); }
    const uint8_t* TypeByte() const { return At(TypeOffset()); }
    uint8_t* Qualifier() { return At(TypeOffset() + 1); }
    const uint8_t* Qualifier() const { return At(TypeOffset() + 1); }
    uint8_t* MessageCode() { return hasMessageCode_ ? At(TypeOffset() + 2) : nullptr; }
    const uint8_t* MessageCode() const { return hasMessageCode_ ? At(TypeOffset() + 2) : nullptr; }
    uint8_t* Body() { return At(HeaderLength()); }
    const uint8_t* Body() const { return At(HeaderLength()); }
    // Header length H: 3 + D + S, plus 1 with a message code.
    size_t HeaderLength() const { return TypeOffset() + 2 + (hasMessageCode_ ? 1 : 0); }
    // Length - H. Negative for a packet shorter than its header. For a packet built field by
    // field it is the body actually appended; Body() + BodyLength() never passes Length().
    int16_t BodyLength() const;

    // The decoded address, or nothing when the packet is empty or the field is absent.
    // Refreshes the cached value (0 when nothing).
    std::optional<uint32_t> DeviceAddress() const;
    std::optional<uint32_t> SecondAddress() const;
    // The values last decoded or set, 0 when absent.
    uint32_t CachedDeviceAddress() const { return deviceAddress_; }
    uint32_t CachedSecondAddress() const { return secondAddress_; }

    // Rewrites one address field in its shortest width (nothing removes the field), moving
    // the bytes behind it. Growing never takes the length past kCapacity (bytes pushed past
    // it are lost); shrinking never takes it below the bytes the packet really had. The
    // cached value becomes the new value (0 for nothing) even when the packet is empty, in
    // which case nothing else changes.
    void SetDeviceAddress(std::optional<uint32_t> value);
    void SetSecondAddress(std::optional<uint32_t> value);

protected:
    void CopyFrom(const PacketImage& other);

private:
    static constexpr uint8_t kFieldMask = static_cast<uint8_t>(kMaxFieldLength);

    size_t TypeOffset() const { return 1 + DeviceFieldLength() + SecondFieldLength(); }
    uint8_t* At(size_t offset) const { return buffer_ ? buffer_.get() + offset : nullptr; }
    // Resizes the field at `start` from `current` to `wanted` bytes.
    void ResizeField(size_t start, size_t current, size_t wanted);

    std::unique_ptr<uint8_t[]> buffer_;
    uint16_t length_ = 0;
    bool hasMessageCode_ = false;
    mutable uint32_t deviceAddress_ = 0;
    mutable uint32_t secondAddress_ = 0;
};

extern template class PacketImage<512, 4>;
extern template class PacketImage<1024, 3>;

// One link packet with what the send step needs to know about it.
class LinkPacket : public PacketImage<512, 4> {
public:
    // Parsed bytes with accounted = 1 and wait = 0; callers set both.
    static LinkPacket Parse(const uint8_t* bytes, size_t n);

    LinkPacket Clone() const;

    // Milliseconds the send step waits after sending this packet.
    uint32_t wait = 0;
    // 1: the send step does device accounting for this packet; 0: it does not (user packets).
    uint32_t accounted = 1;
};

// The image of a packet while it is encrypted.
class CipherPacket : public PacketImage<1024, 3> {
public:
    static constexpr uint8_t kEncryptedBit = 0x80;

    static CipherPacket Parse(const uint8_t* bytes, size_t n);

    CipherPacket Clone() const;

    // Bit 7 of the length byte; false when empty.
    bool Encrypted() const;
    void SetEncrypted(bool encrypted);
};

// Command codes whose message packets carry a specific body.
constexpr uint32_t ca_RELOCK = 0xA3;
constexpr uint32_t ca_JUP_MAN = 0xA5;
constexpr uint32_t ca_SET_1 = 0xA6;
constexpr uint32_t ca_MASTER_KEB = 0xAE;

// The message packet for one application message: device address, second address 0,
// type 0x30, qualifier 0x10, the code's low byte, a 3-byte body chosen by the code (see the
// table in link_packet.cpp). `parameters` are the kLinkParameterCount link parameters; wait
// is messageWait for ca_JUP_MAN and commandWait otherwise, accounted is 1.
// Example: (ca_SET_1, 0x05, 3, 0x22) gives 11 03 00 30 10 A6 C5 22 D1.
LinkPacket MakeMessagePacket(uint32_t code, uint8_t parameter, uint32_t deviceAddress,
                             uint8_t extra, const uint32_t (&parameters)[kLinkParameterCount]);

}  // namespace tarvu
