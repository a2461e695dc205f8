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

void GostDecryptBlock(uint8_t* block, const GostSubkeys& k, const GostRoundTables& t) {
    // The encryption ends with N2 in bytes 0-3; the rounds run backwards from there.
    uint32_t n1 = LoadLe32(block);
    uint32_t n2 = LoadLe32(block + 4);
    for (int i = 0; i < 8; i += 2) {
        n2 ^= RoundFunction(n1 + k[i], t);
        n1 ^= RoundFunction(n2 + k[i + 1], t);
    }
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 7; i > 0; i -= 2) {
            n2 ^= RoundFunction(n1 + k[i], t);
            n1 ^= RoundFunction(n2 + k[i - 1], t);
        }
    }
    StoreLe32(block, n2);
    StoreLe32(block + 4, n1);
}

void GostEncryptBlocks(uint8_t* blocks, size_t count, const GostSubkeys& k,
                       const GostRoundTables& t) {
    size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        uint8_t* a = blocks + 8 * i;
        uint8_t* b = a + 8;
        uint32_t a1 = LoadLe32(a);
        uint32_t a2 = LoadLe32(a + 4);
        uint32_t b1 = LoadLe32(b);
        uint32_t b2 = LoadLe32(b + 4);
        for (int pass = 0; pass < 3; ++pass) {
            for (int j = 0; j < 8; j += 2) {
                a2 ^= RoundFunction(a1 + k[j], t);
                b2 ^= RoundFunction(b1 + k[j], t);
                a1 ^= RoundFunction(a2 + k[j + 1], t);
                b1 ^= RoundFunction(b2 + k[j + 1], t);
            }
        }
        for (int j = 7; j > 0; j -= 2) {
            a2 ^= RoundFunction(a1 + k[j], t);
            b2 ^= RoundFunction(b1 + k[j], t);
            a1 ^= RoundFunction(a2 + k[j - 1], t);
            b1 ^= RoundFunction(b2 + k[j - 1], t);
        }
        StoreLe32(a, a2);
        StoreLe32(a + 4, a1);
        StoreLe32(b, b2);
        StoreLe32(b + 4, b1);
    }
    if (i < count) {
        GostEncryptBlock(blocks + 8 * i, k, t);
    }
}

}  // namespace tarvu
