#pragma once
// The GOST 28147-89 basic encryption step (32 rounds) on one 8-byte block. The substitution
// table is data, so the same step runs with the program's table or any other.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvu {

using GostKey = std::array<uint8_t, 32>;
// Eight rows of 16 four-bit entries, row after row; row j substitutes nibble j (row 0 the
// least significant nibble of the word).
using GostSBoxTable = std::array<uint8_t, 128>;
// K0..K7, read little-endian from key bytes 4i..4i+3.
using GostSubkeys = std::array<uint32_t, 8>;

// The substitution and the 11-bit rotation folded into four byte-indexed lookups.
struct GostRoundTables {
    std::array<std::array<uint32_t, 256>, 4> byByte{};
};

constexpr GostRoundTables ExpandGostSBox(const GostSBoxTable& sbox) {
    GostRoundTables tables;
    for (unsigned byte = 0; byte < 4; ++byte) {
        for (unsigned v = 0; v < 256; ++v) {
            const uint32_t low = sbox[(2 * byte) * 16 + (v & 0x0F)];
            const uint32_t high = sbox[(2 * byte + 1) * 16 + (v >> 4)];
            const uint32_t s = ((high << 4) | low) << (8 * byte);
            tables.byByte[byte][v] = (s << 11) | (s >> 21);
        }
    }
    return tables;
}

GostSubkeys GostExpandKey(const GostKey& key);

// Encrypts block[0..7] in place: N1 from bytes 0-3 and N2 from bytes 4-7 (little-endian),
// subkeys K0..K7 three times then K7..K0, N2 written to bytes 0-3 and N1 to bytes 4-7.
void GostEncryptBlock(uint8_t* block, const GostSubkeys& subkeys, const GostRoundTables& tables);

// The inverse step: a block that GostEncryptBlock produced comes back as it was (subkeys
// K0..K7 once, then K7..K0 three times).
void GostDecryptBlock(uint8_t* block, const GostSubkeys& subkeys, const GostRoundTables& tables);

// The same step on `count` consecutive, independent 8-byte blocks (electronic code book),
// two at a time so that their rounds overlap in the processor.
void GostEncryptBlocks(uint8_t* blocks, size_t count, const GostSubkeys& subkeys,
                       const GostRoundTables& tables);

}  // namespace tarvu
