#pragma once
// The receiving side of the packet cipher, written independently of the product's encryption:
// GOST 28147-89 decryption of each block with the program's substitution rows, then the chain
// undone and the padding dropped. Used to check what the engine puts on the wire.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarvu::testing {

// Row j substitutes nibble j of the word (row 0 the least significant nibble).
inline constexpr uint8_t kTestSBox[8][16] = {
    {0x3, 0x7, 0xA, 0x1, 0x9, 0xC, 0x0, 0x5, 0xD, 0x4, 0xB, 0x8, 0xE, 0x6, 0x2, 0xF},
    {0x4, 0x7, 0xF, 0x6, 0x9, 0x5, 0x0, 0x1, 0x8, 0x2, 0x3, 0xD, 0xE, 0xC, 0xA, 0xB},
    {0x0, 0xA, 0xE, 0x3, 0x1, 0xC, 0x7, 0xD, 0xB, 0x2, 0x9, 0x6, 0xF, 0x5, 0x4, 0x8},
    {0x6, 0x3, 0xC, 0x0, 0x2, 0x4, 0xD, 0xB, 0x8, 0x9, 0xE, 0x1, 0xF, 0x7, 0x5, 0xA},
    {0x5, 0x9, 0xD, 0x3, 0x6, 0x0, 0xF, 0x7, 0x2, 0xB, 0x4, 0x8, 0xA, 0xC, 0x1, 0xE},
    {0x9, 0xF, 0x0, 0xB, 0x6, 0xA, 0x3, 0x1, 0x8, 0x7, 0xE, 0x4, 0x5, 0x2, 0xC, 0xD},
    {0x1, 0x6, 0x2, 0xE, 0xD, 0x4, 0x3, 0x7, 0x9, 0xA, 0x8, 0xC, 0xB, 0x0, 0xF, 0x5},
    {0xF, 0x9, 0xD, 0x7, 0x5, 0x6, 0xA, 0x2, 0xE, 0x4, 0xB, 0x0, 0xC, 0x8, 0x1, 0x3},
};

inline uint32_t TestGostF(uint32_t x) {
    uint32_t s = 0;
    for (int j = 0; j < 8; ++j) {
        s |= static_cast<uint32_t>(kTestSBox[j][(x >> (4 * j)) & 0xF]) << (4 * j);
    }
    return (s << 11) | (s >> 21);
}

inline uint32_t TestLoadLe(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void TestStoreLe(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// Decrypts one block in place. The encryption ends with (N2, N1) in bytes 0-3 and 4-7; each
// round inverts with the same round form when the subkeys run in the opposite order:
// K0..K7 once, then K7..K0 three times.
inline void TestGostDecryptBlock(uint8_t* block, const std::array<uint8_t, 32>& key) {
    uint32_t k[8];
    for (int i = 0; i < 8; ++i) {
        k[i] = TestLoadLe(key.data() + 4 * i);
    }
    int order[32];
    for (int i = 0; i < 8; ++i) {
        order[i] = i;
    }
    for (int i = 8; i < 32; ++i) {
        order[i] = 7 - (i % 8);
    }
    uint32_t x = TestLoadLe(block);
    uint32_t y = TestLoadLe(block + 4);
    for (int r = 0; r < 32; ++r) {
        const uint32_t next = TestGostF(x + k[order[r]]) ^ y;
        y = x;
        x = next;
    }
    // After the last inverse round x holds N2 and y holds N1 of the plain block.
    TestStoreLe(block, y);
    TestStoreLe(block + 4, x);
}

struct DecryptedTail {
    std::vector<uint8_t> plain;
    std::vector<uint8_t> padBytes;
};

// The plain tail of `cipher` (a multiple of 8 bytes), or nothing when the length or the pad
// count is impossible.
inline std::optional<DecryptedTail> TestDecryptTail(std::vector<uint8_t> cipher,
                                                    const std::array<uint8_t, 32>& key) {
    if (cipher.empty() || cipher.size() % 8 != 0) {
        return std::nullopt;
    }
    for (size_t offset = 0; offset < cipher.size(); offset += 8) {
        TestGostDecryptBlock(cipher.data() + offset, key);
    }
    for (size_t i = cipher.size() - 1; i > 0; --i) {
        const auto rotated = static_cast<uint8_t>((cipher[i] >> 1) | (cipher[i] << 7));
        cipher[i] = static_cast<uint8_t>(rotated ^ cipher[i - 1]);
    }
    const size_t padCount = cipher.back();
    if (padCount < 1 || padCount > 8 || padCount + 1 > cipher.size()) {
        return std::nullopt;
    }
    DecryptedTail tail;
    tail.padBytes.assign(cipher.begin(), cipher.begin() + static_cast<ptrdiff_t>(padCount));
    tail.plain.assign(cipher.begin() + static_cast<ptrdiff_t>(padCount), cipher.end() - 1);
    return tail;
}

}  // namespace tarvu::testing
