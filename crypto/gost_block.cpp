#include "crypto/gost_block.h"

#include "platform/byte_order.h"

namespace tarvu {
namespace {

inline uint32_t RoundFunction(uint32_t x, const GostRoundTables& t) {
    return t.byByte[0][x & 0xFF] ^ t.byByte[1][(x >> 8) & 0xFF] ^ t.byByte[2][(x >> 16) & 0xFF] ^
           t.byByte[3][x >> 24];
}

}  // namespace

GostSubkeys GostExpandKey(const GostKey& key) {
    GostSubkeys subkeys;
    for (int i = 0; i < 8; ++i) {
        subkeys[i] = LoadLe32(key.data() + 4 * i);
    }
    return subkeys;
}

void GostEncryptBlock(uint8_t* block, const GostSubkeys& k, const GostRoundTables& t) {
    uint32_t n1 = LoadLe32(block);
    uint32_t n2 = LoadLe32(block + 4);
    // Two rounds per pass, so the halves swap roles instead of being moved.
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 0; i < 8; i += 2) {
            n2 ^= RoundFunction(n1 + k[i], t);
            n1 ^= RoundFunction(n2 + k[i + 1], t);
        }
    }
    for (int i = 7; i > 0; i -= 2) {
        n2 ^= RoundFunction(n1 + k[i], t);
        n1 ^= RoundFunction(n2 + k[i - 1], t);
    }
    StoreLe32(block, n2);
    StoreLe32(block + 4, n1);
}

}  // namespace tarvu
