// Link and cipher packet records parsed from any bytes, then their address fields rewritten by
// a sequence of operations from the input. Every position the record hands out must stay in
// its buffer, and while the packet holds its whole address header each rewrite must equal the
// same edit made on a plain byte vector.
//
// Input: byte 0 selects the record (bit 0) and the operation count (bits 1-3); then per
// operation 5 bytes (field and presence in the first, the value little-endian in the next 4);
// the rest is the packet.

#include "fuzz/fuzz_check.h"
#include "link/link_packet.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

template <typename Packet>
void CheckPositions(const Packet& packet) {
    const uint8_t* const start = packet.Data();
    const uint8_t* const end = start + Packet::kCapacity;
    FUZZ_CHECK(packet.Length() >= 1 && packet.Length() <= Packet::kCapacity);
    FUZZ_CHECK(packet.DeviceFieldLength() <= Packet::kMaxFieldLength);
    FUZZ_CHECK(packet.SecondFieldLength() <= Packet::kMaxFieldLength);
    FUZZ_CHECK(packet.TypeByte() > start && packet.TypeByte() < end);
    FUZZ_CHECK(packet.Qualifier() == packet.TypeByte() + 1 && packet.Qualifier() < end);
    if (packet.MessageCode() != nullptr) {
        FUZZ_CHECK(packet.MessageCode() == packet.TypeByte() + 2);
    }
    FUZZ_CHECK(packet.Body() == start + packet.HeaderLength() && packet.Body() <= end);
    FUZZ_CHECK(packet.BodyLength() ==
               static_cast<int>(packet.Length()) - static_cast<int>(packet.HeaderLength()));
}

uint32_t FieldValue(const uint8_t* p, size_t length) {
    uint32_t value = 0;
    for (size_t i = 0; i < std::min<size_t>(length, 4); ++i) {
        value |= static_cast<uint32_t>(p[i]) << (8 * i);
    }
    return value;
}

template <typename Packet>
void CheckAddresses(const Packet& packet) {
    const size_t d = packet.DeviceFieldLength();
    const size_t s = packet.SecondFieldLength();
    const auto device = packet.DeviceAddress();
    const auto second = packet.SecondAddress();
    FUZZ_CHECK(device.has_value() == (d != 0));
    FUZZ_CHECK(second.has_value() == (s != 0));
    if (device) {
        FUZZ_CHECK(*device == FieldValue(packet.Data() + 1, d));
    }
    if (second) {
        FUZZ_CHECK(*second == FieldValue(packet.Data() + 1 + d, s));
    }
}

template <typename Packet>
void Run(const uint8_t* ops, size_t opCount, const uint8_t* bytes, size_t n) {
    constexpr unsigned kShift = 4;
    constexpr uint8_t kMask = static_cast<uint8_t>(Packet::kMaxFieldLength);
    Packet packet = Packet::Parse(bytes, n);
    const size_t kept = std::min(n, Packet::kCapacity);
    FUZZ_CHECK(packet.Length() == (kept == 0 ? 1 : kept));
    FUZZ_CHECK(std::equal(bytes, bytes + kept, packet.Data()));
    const uint8_t* const type = packet.TypeByte();
    FUZZ_CHECK((packet.MessageCode() != nullptr) == ((type[0] & 0xF0) == 0x30 && type[1] == 0x10));
    CheckPositions(packet);
    CheckAddresses(packet);

    std::vector<uint8_t> model(packet.Data(), packet.Data() + packet.Length());
    const bool hadCode = packet.MessageCode() != nullptr;
    for (size_t i = 0; i < opCount; ++i) {
        const uint8_t* op = ops + 5 * i;
        const bool secondField = (op[0] & 1) != 0;
        const std::optional<uint32_t> value =
            (op[0] & 2) != 0 ? std::optional<uint32_t>(tarvu::LoadLe32(op + 1)) : std::nullopt;
        const size_t d = packet.DeviceFieldLength();
        const size_t start = secondField ? 1 + d : 1;
        const size_t current = secondField ? packet.SecondFieldLength() : d;
        const size_t wanted = value ? tarvu::AddressFieldSize(*value) : 0;
        // The model edit holds only while the packet really contains the field.
        const bool modelled = packet.Length() >= start + current;
        if (modelled) {
            model.erase(model.begin() + static_cast<ptrdiff_t>(start),
                        model.begin() + static_cast<ptrdiff_t>(start + current));
            std::vector<uint8_t> field(wanted);
            for (size_t k = 0; k < wanted; ++k) {
                field[k] = static_cast<uint8_t>(*value >> (8 * k));
            }
            model.insert(model.begin() + static_cast<ptrdiff_t>(start), field.begin(), field.end());
            if (model.size() > Packet::kCapacity) {
                model.resize(Packet::kCapacity);
            }
            if (secondField) {
                model[0] = static_cast<uint8_t>((model[0] & ~kMask) | wanted);
            } else {
                model[0] =
                    static_cast<uint8_t>((model[0] & ~(kMask << kShift)) | (wanted << kShift));
            }
        }
        const uint8_t highBits = packet.Data()[0] & static_cast<uint8_t>(~((kMask << 4) | kMask));
        if (secondField) {
            packet.SetSecondAddress(value);
        } else {
            packet.SetDeviceAddress(value);
        }
        // Bits outside both length fields (bit 7 and bit 3 of a cipher packet) are kept.
        FUZZ_CHECK((packet.Data()[0] & static_cast<uint8_t>(~((kMask << 4) | kMask))) == highBits);
        FUZZ_CHECK((secondField ? packet.SecondFieldLength() : packet.DeviceFieldLength()) ==
                   wanted);
        FUZZ_CHECK((secondField ? packet.CachedSecondAddress() : packet.CachedDeviceAddress()) ==
                   value.value_or(0));
        FUZZ_CHECK((secondField ? packet.SecondAddress() : packet.DeviceAddress()) == value);
        FUZZ_CHECK((packet.MessageCode() != nullptr) == hadCode);
        CheckPositions(packet);
        CheckAddresses(packet);
        if (modelled) {
            FUZZ_CHECK(packet.Length() == model.size());
            FUZZ_CHECK(std::equal(model.begin(), model.end(), packet.Data()));
        } else {
            model.assign(packet.Data(), packet.Data() + packet.Length());
        }
    }

    // A clone is the same packet; the moved-from record is empty and hands out nothing.
    Packet copy = packet.Clone();
    FUZZ_CHECK(copy.Length() == packet.Length());
    FUZZ_CHECK(std::equal(packet.Data(), packet.Data() + packet.Length(), copy.Data()));
    Packet moved = std::move(copy);
    FUZZ_CHECK(copy.Empty() && copy.TypeByte() == nullptr && !copy.DeviceAddress());
    copy.SetDeviceAddress(0x12345);
    FUZZ_CHECK(copy.Empty());
    CheckPositions(moved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool cipher = (data[0] & 1) != 0;
    const size_t opCount = std::min<size_t>((data[0] >> 1) & 7u, (size - 1) / 5);
    const uint8_t* const ops = data + 1;
    const uint8_t* const bytes = ops + 5 * opCount;
    const size_t n = size - 1 - 5 * opCount;
    if (cipher) {
        Run<tarvu::CipherPacket>(ops, opCount, bytes, n);
        tarvu::CipherPacket packet = tarvu::CipherPacket::Parse(bytes, n);
        const bool wasEncrypted = packet.Encrypted();
        packet.SetEncrypted(!wasEncrypted);
        FUZZ_CHECK(packet.Encrypted() == !wasEncrypted);
    } else {
        Run<tarvu::LinkPacket>(ops, opCount, bytes, n);
    }
    return 0;
}
