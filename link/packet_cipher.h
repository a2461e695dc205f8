#pragma once
// Whole link packets through the channel cipher, for a peer that plays the converter's side:
// an encrypted packet is turned back into its plain form, and a plain packet is sent in the
// form the engine's encrypted send gives it.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvu {

// The plain packet of an encrypted one (bit 7 of the length byte set): a length byte with the
// same D and S, the addresses as they came, then the decrypted tail. False, `plain` untouched,
// when the packet is not encrypted, is shorter than its addresses, or its tail does not
// decrypt (not whole blocks, an impossible pad count).
bool DecryptLinkPacket(std::span<const uint8_t> wire, const std::array<uint8_t, 32>& key,
                       std::vector<uint8_t>& plain);

// The encrypted form of a plain packet as the engine's send gives it: addresses rewritten in
// their shortest width and kept in clear, the rest padded, chained and encrypted with fresh
// pad bytes. False when the part to encrypt exceeds the cipher's limit.
bool EncryptLinkPacket(std::span<const uint8_t> plain, const std::array<uint8_t, 32>& key,
                       std::vector<uint8_t>& wire);

}  // namespace tarvu
