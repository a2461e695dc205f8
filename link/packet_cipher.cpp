#include "link/packet_cipher.h"

#include "crypto/gost_cipher.h"
#include "link/encrypted_send.h"
#include "link/link_packet.h"

namespace tarvu {

bool DecryptLinkPacket(std::span<const uint8_t> wire, const std::array<uint8_t, 32>& key,
                       std::vector<uint8_t>& plain) {
    if (wire.empty() || (wire[0] & CipherPacket::kEncryptedBit) == 0) {
        return false;
    }
    // Encrypted headers carry D in bits 6-4 and S in bits 2-0.
    const size_t deviceLength = (wire[0] >> 4) & 0x07;
    const size_t secondLength = wire[0] & 0x07;
    const size_t tailOffset = 1 + deviceLength + secondLength;
    if (wire.size() < tailOffset) {
        return false;
    }
    std::vector<uint8_t> tail(wire.begin() + static_cast<ptrdiff_t>(tailOffset), wire.end());
    size_t offset = 0;
    size_t length = 0;
    if (!GostDecryptPacket(tail, key, &offset, &length)) {
        return false;
    }
    plain.assign(wire.begin(), wire.begin() + static_cast<ptrdiff_t>(tailOffset));
    plain[0] = static_cast<uint8_t>((deviceLength << 4) | secondLength);
    plain.insert(plain.end(), tail.begin() + static_cast<ptrdiff_t>(offset),
                 tail.begin() + static_cast<ptrdiff_t>(offset + length));
    return true;
}

bool EncryptLinkPacket(std::span<const uint8_t> plain, const std::array<uint8_t, 32>& key,
                       std::vector<uint8_t>& wire) {
    const LinkPacket packet = LinkPacket::Parse(plain.data(), plain.size());
    CipherPacket image = BuildPlainImage(packet, nullptr);
    const size_t pos = CipherTailOffset(image);
    const size_t tail = image.Length() - pos;
    if (tail > kGostMaxBody) {
        return false;
    }
    PadRecord pad{};
    const uint8_t encrypted = EncryptWithKey(key, image.Data() + pos, tail, pad);
    image.SetLength(pos + encrypted);
    wire.assign(image.Data(), image.Data() + image.Length());
    return true;
}

}  // namespace tarvu
