#pragma once
// Packet-body encryption: random pad bytes in front, a pad-count byte behind, the bytes
// chained, then every 8-byte block encrypted with the GOST 28147-89 basic step.

#include "crypto/gost_block.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvu {

// The program's fixed substitution rows.
inline constexpr GostSBoxTable GostSBox = {
    0x3, 0x7, 0xA, 0x1, 0x9, 0xC, 0x0, 0x5, 0xD, 0x4, 0xB, 0x8, 0xE, 0x6, 0x2, 0xF,  // row 0
    0x4, 0x7, 0xF, 0x6, 0x9, 0x5, 0x0, 0x1, 0x8, 0x2, 0x3, 0xD, 0xE, 0xC, 0xA, 0xB,  // row 1
    0x0, 0xA, 0xE, 0x3, 0x1, 0xC, 0x7, 0xD, 0xB, 0x2, 0x9, 0x6, 0xF, 0x5, 0x4, 0x8,  // row 2
    0x6, 0x3, 0xC, 0x0, 0x2, 0x4, 0xD, 0xB, 0x8, 0x9, 0xE, 0x1, 0xF, 0x7, 0x5, 0xA,  // row 3
    0x5, 0x9, 0xD, 0x3, 0x6, 0x0, 0xF, 0x7, 0x2, 0xB, 0x4, 0x8, 0xA, 0xC, 0x1, 0xE,  // row 4
    0x9, 0xF, 0x0, 0xB, 0x6, 0xA, 0x3, 0x1, 0x8, 0x7, 0xE, 0x4, 0x5, 0x2, 0xC, 0xD,  // row 5
    0x1, 0x6, 0x2, 0xE, 0xD, 0x4, 0x3, 0x7, 0x9, 0xA, 0x8, 0xC, 0xB, 0x0, 0xF, 0x5,  // row 6
    0xF, 0x9, 0xD, 0x7, 0x5, 0x6, 0xA, 0x2, 0xE, 0x4, 0xB, 0x0, 0xC, 0x8, 0x1, 0x3,  // row 7
};

inline constexpr GostRoundTables kGostRoundTables = ExpandGostSBox(GostSBox);

// The key the engine-facing GostEncryptPacket uses; the link engine points it at its
// channel's key before each call. Process-wide, so only one thread may encrypt through it.
extern const GostKey* CurrentGostKey;

// Byte 0: pad count b (1..8); bytes 1..b: the pad bytes in the order they precede the body.
using PadRecord = std::array<uint8_t, 9>;

// The longest body whose encrypted length (body + pad + count) still fits 8 bits.
constexpr size_t kGostMaxBody = 246;
// Room the buffer needs beyond the body.
constexpr size_t kGostBufferSpare = 9;

// 8 - ((length + 1) mod 8): 1..8.
constexpr size_t GostPadCount(size_t length) {
    return 8 - ((length + 1) % 8);
}

// Encrypts buffer[0..length-1] in place with `key` and returns the encrypted length
// (a multiple of 8, 8..248). Returns 0 and touches neither the buffer nor `pad` when the
// body is longer than kGostMaxBody or the buffer has no room for the encrypted body.
uint8_t GostEncryptPacket(std::span<uint8_t> buffer, size_t length, PadRecord& pad,
                          const GostKey& key);

// The engine's form: the key is *CurrentGostKey and the buffer has kGostBufferSpare bytes
// beyond the body. Returns 0 without touching anything when CurrentGostKey is not set or
// the body is longer than kGostMaxBody.
uint8_t GostEncryptPacket(uint8_t* buffer, size_t length, PadRecord& pad);

// The receiving side: decrypts `data` (a whole number of 8-byte blocks) in place, undoes the
// chain and checks the pad count. On success returns true with the plain bytes at
// data[*plainOffset .. *plainOffset + *plainLength); false (the data then scrambled) when the
// length is not a positive multiple of 8 or the last byte is no possible pad count.
bool GostDecryptPacket(std::span<uint8_t> data, const GostKey& key, size_t* plainOffset,
                       size_t* plainLength);

// Reseeds the runtime generator from the millisecond clock, as every packet does.
void GostSeedPadGenerator();

}  // namespace tarvu
