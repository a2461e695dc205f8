#pragma once
// Pieces of a channel's encrypted send: the plain image of a queued packet, the public-key
// block that travels while a key exchange is pending, and the channel's key pair.
//
// Encrypted packet on the wire:
//   0              length byte: bit 7 set, bits 6-4 D, bit 3 clear, bits 2-0 S
//   1 .. D+S       device and second address in clear, shortest width, little-endian
//   then           cipher output of the plain tail: type, qualifier, message code (if any),
//                  the 64-byte public-key block (only while the exchange is pending), body

#include "crypto/rsa_key_pair.h"
#include "link/link_packet.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvu {

// Low 32 bytes of the modulus, then low 32 bytes of the public exponent, each least
// significant byte first.
constexpr size_t kPublicKeyBlockSize = 64;
using PublicKeyBlock = std::array<uint8_t, kPublicKeyBlockSize>;

constexpr uint32_t kChannelKeyPairBits = 256;

PublicKeyBlock MakePublicKeyBlock(const RsaPublicKey& publicKey);

// The plain image of `packet` in a CipherPacket: length byte with bit 7 set, the packet's
// address fields rewritten in their shortest width, type, qualifier, the message code when
// the packet has one, then `keyBlock` (when given) and the whole body. The image is built
// from what the packet's record holds, so a packet shorter than its header contributes the
// zero bytes its buffer holds there.
CipherPacket BuildPlainImage(const LinkPacket& packet, const PublicKeyBlock* keyBlock);

// Offset of the first encrypted byte: 1 + D + S of the image.
size_t CipherTailOffset(const CipherPacket& image);

// Prepares the shared random generator (initialised, 256 single zero bytes, then seeded from
// the clocks) and generates a 256-bit key pair with exponent 65537 into the two records.
// Returns the key generation's status; on failure both records stay as they were.
// Serialised process-wide, since the generator is shared.
int GenerateChannelKeyPair(RsaPublicKey& publicKey, RsaPrivateKey& privateKey);

// Points CurrentGostKey at `key`, encrypts buffer[0..length-1] in place (the buffer has room
// for 9 more bytes) and fills `pad`; returns the encrypted length, 0 when the tail exceeds
// the cipher's limit. The key pointer is cleared afterwards, so it never outlives its
// channel; the whole sequence is serialised process-wide with every other channel's.
uint8_t EncryptWithKey(const std::array<uint8_t, 32>& key, uint8_t* buffer, size_t length,
                       std::array<uint8_t, 9>& pad);

}  // namespace tarvu
