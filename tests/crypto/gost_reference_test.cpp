#include "crypto/gost_cipher.h"
#include "platform/byte_order.h"

#include <gcrypt.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace tarvu {
namespace {

// The substitution table of the GOST R 34.11-94 test parameter set, row 0 for the least
// significant nibble; libgcrypt's GOST 28147-89 uses it unless told otherwise.
constexpr GostSBoxTable kTestParamSBox = {
    4,  10, 9, 2,  13, 8,  0,  14, 6,  11, 1, 12, 7,  15, 5,  3,  14, 11, 4,  12, 6,  13,
    15, 10, 2, 3,  8,  1,  0,  7,  5,  9,  5, 8,  1,  13, 10, 3,  4,  2,  14, 15, 12, 7,
    6,  0,  9, 11, 7,  13, 10, 1,  0,  8,  9, 15, 14, 4,  6,  12, 11, 2,  5,  3,  6,  12,
    7,  1,  5, 15, 13, 8,  4,  10, 9,  14, 0, 3,  11, 2,  4,  11, 10, 0,  7,  2,  1,  13,
    3,  6,  8, 5,  9,  12, 15, 14, 13, 11, 4, 1,  3,  15, 5,  9,  0,  10, 14, 7,  6,  8,
    2,  12, 1, 15, 13, 0,  5,  7,  10, 4,  9, 2,  3,  14, 6,  11, 8,  12,
};

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        b = static_cast<uint8_t>(rng());
    }
    return v;
}

GostKey RandomKey(std::mt19937& rng) {
    GostKey key;
    const std::vector<uint8_t> bytes = RandomBytes(rng, key.size());
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

// libgcrypt reads K_i little-endian from key bytes 4i.. and writes N2 before N1, as we do,
// so its ECB output compares byte for byte; batches of odd and even length included.
TEST(GostBlock, MatchesLibgcryptWithTestParameterSet) {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    const GostRoundTables tables = ExpandGostSBox(kTestParamSBox);
    std::mt19937 rng(1);
    for (int trial = 0; trial < 100; ++trial) {
        const size_t blocks = trial < 80 ? 1 : 1 + trial % 8;
        const GostKey key = RandomKey(rng);
        std::vector<uint8_t> ours = RandomBytes(rng, 8 * blocks);
        std::vector<uint8_t> theirs(ours.size());
        gcry_cipher_hd_t h = nullptr;
        ASSERT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0u);
        ASSERT_EQ(gcry_cipher_setkey(h, key.data(), key.size()), 0u);
        ASSERT_EQ(gcry_cipher_encrypt(h, theirs.data(), theirs.size(), ours.data(), ours.size()),
                  0u);
        gcry_cipher_close(h);
        if (blocks == 1) {
            GostEncryptBlock(ours.data(), GostExpandKey(key), tables);
        } else {
            GostEncryptBlocks(ours.data(), blocks, GostExpandKey(key), tables);
        }
        EXPECT_EQ(ours, theirs) << "trial " << trial;
    }
}

}  // namespace
}  // namespace tarvu
