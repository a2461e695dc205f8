#include "link/link_packet.h"

#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarvu {
namespace {

// Little-endian value of a field that the header may claim to be up to 15 bytes long: the
// bytes beyond the fourth would only add multiples of 2^32.
uint32_t LoadField(const uint8_t* p, size_t length) {
    return LoadLeN(p, std::min<size_t>(length, 4));
}

void StoreField(uint8_t* p, uint32_t value, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

template <size_t Capacity, unsigned FieldBits>
PacketImage<Capacity, FieldBits>::PacketImage()
    : buffer_(std::make_unique<uint8_t[]>(Capacity)), length_(1) {
}

template <size_t Capacity, unsigned FieldBits>
PacketImage<Capacity, FieldBits>::PacketImage(PacketImage&& other) noexcept
    : buffer_(std::move(other.buffer_)),
      length_(std::exchange(other.length_, 0)),
      hasMessageCode_(std::exchange(other.hasMessageCode_, false)),
      deviceAddress_(std::exchange(other.deviceAddress_, 0)),
      secondAddress_(std::exchange(other.secondAddress_, 0)) {
}

template <size_t Capacity, unsigned FieldBits>
PacketImage<Capacity, FieldBits>& PacketImage<Capacity, FieldBits>::operator=(
    PacketImage&& other) noexcept {
    if (this != &other) {
        buffer_ = std::move(other.buffer_);
        length_ = std::exchange(other.length_, 0);
        hasMessageCode_ = std::exchange(other.hasMessageCode_, false);
        deviceAddress_ = std::exchange(other.deviceAddress_, 0);
        secondAddress_ = std::exchange(other.secondAddress_, 0);
    }
    return *this;
}

template <size_t Capacity, unsigned FieldBits>
PacketImage<Capacity, FieldBits>::~PacketImage() = default;

template <size_t Capacity, unsigned FieldBits>
void PacketImage<Capacity, FieldBits>::CopyFrom(const PacketImage& other) {
    if (!other.buffer_) {
        buffer_.reset();
    } else {
        if (!buffer_) {
            buffer_ = std::make_unique<uint8_t[]>(Capacity);
        }
        std::memcpy(buffer_.get(), other.buffer_.get(), Capacity);
    }
    length_ = other.length_;
    hasMessageCode_ = other.hasMessageCode_;
    deviceAddress_ = other.deviceAddress_;
    secondAddress_ = other.secondAddress_;
}

template <size_t Capacity, unsigned FieldBits>
void PacketImage<Capacity, FieldBits>::Assign(const uint8_t* bytes, size_t n) {
    if (!buffer_) {
        buffer_ = std::make_unique<uint8_t[]>(Capacity);
    } else {
        std::memset(buffer_.get(), 0, Capacity);
    }
    if (bytes == nullptr) {
        n = 0;
    }
    n = std::min(n, Capacity);
    if (n > 0) {
        std::memcpy(buffer_.get(), bytes, n);
    }
    length_ = static_cast<uint16_t>(n == 0 ? 1 : n);

    const size_t typeOffset = TypeOffset();
    hasMessageCode_ = (buffer_[typeOffset] & 0xF0) == 0x30 && buffer_[typeOffset + 1] == 0x10;
    DeviceAddress();
    SecondAddress();
}

template <size_t Capacity, unsigned FieldBits>
uint16_t PacketImage<Capacity, FieldBits>::SetLength(size_t n) {
    if (buffer_) {
        length_ = static_cast<uint16_t>(std::min(n, Capacity));
    }
    return length_;
}

template <size_t Capacity, unsigned FieldBits>
bool PacketImage<Capacity, FieldBits>::Append(const uint8_t* bytes, size_t n) {
    if (!buffer_) {
        return false;
    }
    const size_t room = Capacity - length_;
    const size_t taken = std::min(n, room);
    if (taken > 0) {
        std::memcpy(buffer_.get() + length_, bytes, taken);
        length_ = static_cast<uint16_t>(length_ + taken);
    }
    return taken == n;
}

template <size_t Capacity, unsigned FieldBits>
size_t PacketImage<Capacity, FieldBits>::DeviceFieldLength() const {
    return Empty() ? 0 : (buffer_[0] >> 4) & kFieldMask;
}

template <size_t Capacity, unsigned FieldBits>
size_t PacketImage<Capacity, FieldBits>::SecondFieldLength() const {
    return Empty() ? 0 : buffer_[0] & kFieldMask;
}

template <size_t Capacity, unsigned FieldBits>
int16_t PacketImage<Capacity, FieldBits>::BodyLength() const {
    if (!buffer_) {
        return 0;
    }
    return static_cast<int16_t>(static_cast<int>(length_) - static_cast<int>(HeaderLength()));
}

template <size_t Capacity, unsigned FieldBits>
std::optional<uint32_t> PacketImage<Capacity, FieldBits>::DeviceAddress() const {
    const size_t length = DeviceFieldLength();
    if (length == 0) {
        deviceAddress_ = 0;
        return std::nullopt;
    }
    deviceAddress_ = LoadField(buffer_.get() + 1, length);
    return deviceAddress_;
}

template <size_t Capacity, unsigned FieldBits>
std::optional<uint32_t> PacketImage<Capacity, FieldBits>::SecondAddress() const {
    const size_t length = SecondFieldLength();
    if (length == 0) {
        secondAddress_ = 0;
        return std::nullopt;
    }
    secondAddress_ = LoadField(buffer_.get() + 1 + DeviceFieldLength(), length);
    return secondAddress_;
}

template <size_t Capacity, unsigned FieldBits>
void PacketImage<Capacity, FieldBits>::ResizeField(size_t start, size_t current, size_t wanted) {
    uint8_t* const data = buffer_.get();
    const size_t length = length_;
    if (wanted > current) {
        // The tail from the field's first byte moves up; what would pass the capacity is lost.
        const size_t grow = wanted - current;
        const size_t kept = std::min(length, Capacity - grow);
        if (kept > start) {
            std::memmove(data + start + grow, data + start, kept - start);
        }
        length_ = static_cast<uint16_t>(std::min(length + grow, Capacity));
    } else if (wanted < current) {
        // Bytes [start + wanted, start + current) go. Only those the packet really holds
        // shorten it: a packet that ends inside its own header must not underflow.
        const size_t cutFrom = start + wanted;
        const size_t cutTo = start + current;
        if (length > cutTo) {
            std::memmove(data + cutFrom, data + cutTo, length - cutTo);
        }
        const size_t removed = length > cutFrom ? std::min(length, cutTo) - cutFrom : 0;
        length_ = static_cast<uint16_t>(length - removed);
    }
}

template <size_t Capacity, unsigned FieldBits>
void PacketImage<Capacity, FieldBits>::SetDeviceAddress(std::optional<uint32_t> value) {
    const size_t wanted = value ? AddressFieldSize(*value) : 0;
    deviceAddress_ = value.value_or(0);
    if (Empty()) {
        return;
    }
    const size_t current = DeviceFieldLength();
    if (wanted != current) {
        ResizeField(1, current, wanted);
        buffer_[0] = static_cast<uint8_t>((buffer_[0] & ~(kFieldMask << 4)) | (wanted << 4));
    }
    StoreField(buffer_.get() + 1, deviceAddress_, wanted);
}

template <size_t Capacity, unsigned FieldBits>
void PacketImage<Capacity, FieldBits>::SetSecondAddress(std::optional<uint32_t> value) {
    const size_t wanted = value ? AddressFieldSize(*value) : 0;
    secondAddress_ = value.value_or(0);
    if (Empty()) {
        return;
    }
    const size_t start = 1 + DeviceFieldLength();
    const size_t current = SecondFieldLength();
    if (wanted != current) {
        ResizeField(start, current, wanted);
        buffer_[0] = static_cast<uint8_t>((buffer_[0] & ~kFieldMask) | wanted);
    }
    StoreField(buffer_.get() + start, secondAddress_, wanted);
}

template class PacketImage<512, 4>;
template class PacketImage<1024, 3>;

LinkPacket LinkPacket::Parse(const uint8_t* bytes, size_t n) {
    LinkPacket packet;
    packet.Assign(bytes, n);
    return packet;
}

LinkPacket LinkPacket::Clone() const {
    LinkPacket copy;
    copy.CopyFrom(*this);
    copy.wait = wait;
    copy.accounted = accounted;
    return copy;
}

CipherPacket CipherPacket::Parse(const uint8_t* bytes, size_t n) {
    CipherPacket packet;
    packet.Assign(bytes, n);
    return packet;
}

CipherPacket CipherPacket::Clone() const {
    CipherPacket copy;
    copy.CopyFrom(*this);
    return copy;
}

bool CipherPacket::Encrypted() const {
    return !Empty() && (Data()[0] & kEncryptedBit) != 0;
}

void CipherPacket::SetEncrypted(bool encrypted) {
    if (Empty()) {
        return;
    }
    Data()[0] =
        static_cast<uint8_t>(encrypted ? Data()[0] | kEncryptedBit : Data()[0] & ~kEncryptedBit);
}

LinkPacket MakeMessagePacket(uint32_t code, uint8_t parameter, uint32_t deviceAddress,
                             uint8_t extra, const uint32_t (&parameters)[kLinkParameterCount]) {
    uint8_t body[3] = {0x00, 0x00, 0xD1};
    switch (code) {
        case ca_RELOCK:
        case ca_MASTER_KEB:
            body[0] = parameter;
            break;
        case ca_JUP_MAN:
            body[0] = parameter == 1 ? 0x01 : parameter == 2 ? 0x02 : 0x00;
            break;
        case ca_SET_1:
            body[0] = static_cast<uint8_t>(parameter | 0xC0);
            body[1] = extra;
            break;
        default:
            break;
    }

    // Length byte, device address, second address 0, type, qualifier, code, body.
    const size_t deviceLength = AddressFieldSize(deviceAddress);
    uint8_t bytes[1 + 4 + 1 + 3 + 3];
    size_t n = 0;
    bytes[n++] = static_cast<uint8_t>((deviceLength << 4) | 1);
    StoreField(bytes + n, deviceAddress, deviceLength);
    n += deviceLength;
    bytes[n++] = 0x00;
    bytes[n++] = 0x30;
    bytes[n++] = 0x10;
    bytes[n++] = static_cast<uint8_t>(code);
    for (uint8_t b : body) {
        bytes[n++] = b;
    }

    LinkPacket packet = LinkPacket::Parse(bytes, n);
    const uint32_t wait = code == ca_JUP_MAN ? parameters[kMessageWait] : parameters[kCommandWait];
    packet.wait = wait & 0xFFFF;
    packet.accounted = 1;
    return packet;
}

}  // namespace tarvu
