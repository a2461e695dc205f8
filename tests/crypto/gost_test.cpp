#include "crypto/gost_cipher.h"
#include "platform/crt_random.h"
#include "platform/performance_counter.h"

#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstring>
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

// Round by round, independent of the library's folded tables: the test's own reference.
uint32_t RoundF(uint32_t x, const GostSBoxTable& sbox) {
    uint32_t s = 0;
    for (int j = 0; j < 8; ++j) {
        s |= static_cast<uint32_t>(sbox[j * 16 + ((x >> (4 * j)) & 15)]) << (4 * j);
    }
    return (s << 11) | (s >> 21);
}

void RefCrypt(uint8_t* block, const GostKey& key, bool decrypt) {
    uint32_t k[8];
    for (int i = 0; i < 8; ++i) {
        k[i] = static_cast<uint32_t>(key[4 * i]) | (static_cast<uint32_t>(key[4 * i + 1]) << 8) |
               (static_cast<uint32_t>(key[4 * i + 2]) << 16) |
               (static_cast<uint32_t>(key[4 * i + 3]) << 24);
    }
    auto load = [&](int at) {
        return static_cast<uint32_t>(block[at]) | (static_cast<uint32_t>(block[at + 1]) << 8) |
               (static_cast<uint32_t>(block[at + 2]) << 16) |
               (static_cast<uint32_t>(block[at + 3]) << 24);
    };
    uint32_t n1 = load(0);
    uint32_t n2 = load(4);
    for (int r = 0; r < 32; ++r) {
        // Encryption: 0..7 three times then 7..0; decryption: 0..7 then 7..0 three times.
        const bool forward = decrypt ? r < 8 : r < 24;
        const int index = forward ? r % 8 : 7 - r % 8;
        const uint32_t s = RoundF(n1 + k[index], GostSBox) ^ n2;
        n2 = n1;
        n1 = s;
    }
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<uint8_t>(n2 >> (8 * i));
        block[4 + i] = static_cast<uint8_t>(n1 >> (8 * i));
    }
}

// The receiver's side: decrypt, undo the chain from the end, drop pad and count.
std::vector<uint8_t> RefDecryptPacket(std::vector<uint8_t> data, const GostKey& key,
                                      std::vector<uint8_t>& padBytes) {
    for (size_t off = 0; off < data.size(); off += 8) {
        RefCrypt(data.data() + off, key, true);
    }
    for (size_t i = data.size() - 1; i >= 1; --i) {
        const uint8_t c = data[i];
        data[i] = static_cast<uint8_t>(((c >> 1) | (c << 7)) ^ data[i - 1]);
    }
    const size_t b = data.back();
    padBytes.assign(data.begin(), data.begin() + static_cast<long>(b));
    return std::vector<uint8_t>(data.begin() + static_cast<long>(b), data.end() - 1);
}

GostKey RandomKey(std::mt19937& rng) {
    GostKey key;
    for (auto& b : key) {
        b = static_cast<uint8_t>(rng());
    }
    return key;
}

class GcryptInit : public ::testing::Environment {
public:
    void SetUp() override {
        gcry_check_version(nullptr);
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    }
};
const auto* const kGcrypt = ::testing::AddGlobalTestEnvironment(new GcryptInit);

TEST(GostBlock, MatchesLibgcryptWithTestParameterSet) {
    const GostRoundTables tables = ExpandGostSBox(kTestParamSBox);
    std::mt19937 rng(1);
    for (int trial = 0; trial < 200; ++trial) {
        const GostKey key = RandomKey(rng);
        uint8_t block[8];
        for (auto& b : block) {
            b = static_cast<uint8_t>(rng());
        }
        uint8_t expected[8];
        gcry_cipher_hd_t h = nullptr;
        ASSERT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0u);
        // libgcrypt reads its key bytes as our subkeys do (K_i little-endian from bytes 4i..)
        // and writes N2 before N1, so the bytes compare directly.
        ASSERT_EQ(gcry_cipher_setkey(h, key.data(), key.size()), 0u);
        ASSERT_EQ(gcry_cipher_encrypt(h, expected, 8, block, 8), 0u);
        gcry_cipher_close(h);

        GostEncryptBlock(block, GostExpandKey(key), tables);
        EXPECT_EQ(0, std::memcmp(block, expected, 8)) << "trial " << trial;
    }

    // Batches, odd and even in length, against libgcrypt's ECB over the same buffer.
    for (size_t count : {1u, 2u, 7u, 16u}) {
        const GostKey key = RandomKey(rng);
        std::vector<uint8_t> ours(8 * count);
        for (auto& b : ours) {
            b = static_cast<uint8_t>(rng());
        }
        std::vector<uint8_t> theirs(ours.size());
        gcry_cipher_hd_t h = nullptr;
        ASSERT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0u);
        ASSERT_EQ(gcry_cipher_setkey(h, key.data(), key.size()), 0u);
        ASSERT_EQ(gcry_cipher_encrypt(h, theirs.data(), theirs.size(), ours.data(), ours.size()),
                  0u);
        gcry_cipher_close(h);
        GostEncryptBlocks(ours.data(), count, GostExpandKey(key), tables);
        EXPECT_EQ(ours, theirs) << count << " blocks";
    }
}

TEST(GostBlock, FoldedTablesMatchRoundByRoundReference) {
    std::mt19937 rng(2);
    for (int trial = 0; trial < 200; ++trial) {
        const GostKey key = RandomKey(rng);
        uint8_t block[8];
        for (auto& b : block) {
            b = static_cast<uint8_t>(rng());
        }
        uint8_t expected[8];
        std::memcpy(expected, block, 8);
        RefCrypt(expected, key, false);
        GostEncryptBlock(block, GostExpandKey(key), kGostRoundTables);
        EXPECT_EQ(0, std::memcmp(block, expected, 8));
        RefCrypt(block, key, true);  // and the reference inverts it
    }
}

TEST(GostBlock, ProgramTableRowsArePermutations) {
    for (int row = 0; row < 8; ++row) {
        unsigned seen = 0;
        for (int v = 0; v < 16; ++v) {
            seen |= 1u << GostSBox[row * 16 + v];
        }
        EXPECT_EQ(seen, 0xFFFFu) << "row " << row;
    }
}

TEST(GostPacket, PadCountsByLength) {
    EXPECT_EQ(GostPadCount(0), 7u);
    EXPECT_EQ(GostPadCount(6), 1u);
    EXPECT_EQ(GostPadCount(7), 8u);
    EXPECT_EQ(GostPadCount(8), 7u);
    EXPECT_EQ(GostPadCount(118), 1u);
    EXPECT_EQ(GostPadCount(246), 1u);
}

TEST(GostPacket, ReceiverRecoversEveryLengthUpTo246) {
    std::mt19937 rng(3);
    const GostKey key = RandomKey(rng);
    for (size_t length = 0; length <= kGostMaxBody; ++length) {
        std::vector<uint8_t> body(length);
        for (auto& b : body) {
            b = static_cast<uint8_t>(rng());
        }
        std::vector<uint8_t> buffer(length + kGostBufferSpare, 0xCC);
        std::copy(body.begin(), body.end(), buffer.begin());
        PadRecord pad;
        pad.fill(0xAB);
        const uint8_t n = GostEncryptPacket(buffer, length, pad, key);
        const size_t b = GostPadCount(length);
        ASSERT_EQ(n, length + b + 1) << "length " << length;
        ASSERT_EQ(n % 8, 0);
        EXPECT_EQ(pad[0], b);
        if (n < buffer.size()) {
            EXPECT_EQ(buffer[n], 0xCC) << "nothing written past the encrypted body";
        }

        std::vector<uint8_t> padBytes;
        const std::vector<uint8_t> recovered = RefDecryptPacket(
            std::vector<uint8_t>(buffer.begin(), buffer.begin() + n), key, padBytes);
        EXPECT_EQ(recovered, body) << "length " << length;
        ASSERT_EQ(padBytes.size(), b);
        EXPECT_TRUE(std::equal(padBytes.begin(), padBytes.end(), pad.begin() + 1));
        if (b < 8) {
            EXPECT_EQ(pad[b + 1], 0xAB) << "pad record untouched beyond b + 1 bytes";
        }
    }
}

TEST(GostPacket, RefusesTooLongBodyOrShortBuffer) {
    GostKey key{};
    PadRecord pad;
    pad.fill(0x11);
    std::vector<uint8_t> buffer(300, 0x22);
    EXPECT_EQ(GostEncryptPacket(buffer, 247, pad, key), 0);
    EXPECT_EQ(GostEncryptPacket(buffer, 255, pad, key), 0);
    EXPECT_EQ(GostEncryptPacket(buffer, 1000, pad, key), 0);
    // 10 bytes encrypt to 16: a 15-byte buffer has no room.
    EXPECT_EQ(GostEncryptPacket(std::span<uint8_t>(buffer.data(), 15), 10, pad, key), 0);
    EXPECT_EQ(GostEncryptPacket(std::span<uint8_t>(buffer.data(), 16), 10, pad, key), 16);
    for (size_t i = 16; i < buffer.size(); ++i) {
        ASSERT_EQ(buffer[i], 0x22);
    }
    pad.fill(0x11);
    std::vector<uint8_t> untouched(300, 0x22);
    EXPECT_EQ(GostEncryptPacket(untouched, 250, pad, key), 0);
    EXPECT_EQ(untouched, std::vector<uint8_t>(300, 0x22));
    EXPECT_EQ(pad[0], 0x11);
}

TEST(GostPacket, EngineFormUsesCurrentKey) {
    std::mt19937 rng(4);
    const GostKey key = RandomKey(rng);
    uint8_t buffer[20] = {1, 2, 3, 4, 5};
    PadRecord pad;

    CurrentGostKey = nullptr;
    EXPECT_EQ(GostEncryptPacket(buffer, 5, pad), 0) << "no key, nothing done";
    EXPECT_EQ(buffer[0], 1);

    CurrentGostKey = &key;
    EXPECT_EQ(GostEncryptPacket(buffer, 247, pad), 0);
    ASSERT_EQ(GostEncryptPacket(buffer, 5, pad), 8);
    std::vector<uint8_t> padBytes;
    EXPECT_EQ(RefDecryptPacket(std::vector<uint8_t>(buffer, buffer + 8), key, padBytes),
              (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    CurrentGostKey = nullptr;
}

// Pad bytes come from the runtime generator reseeded with the millisecond count.
TEST(GostPacket, PadBytesFollowMillisecondSeed) {
    const GostKey key{};
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int64_t f = QueryPerformanceFrequency();
        const int64_t before = QueryPerformanceCounter() / (f / 1000);
        uint8_t first[16] = {};
        uint8_t second[16] = {};
        PadRecord padFirst{};
        PadRecord padSecond{};
        GostEncryptPacket(first, 0, padFirst, key);
        GostEncryptPacket(second, 0, padSecond, key);
        const int64_t after = QueryPerformanceCounter() / (f / 1000);
        if (before != after) {
            continue;
        }
        EXPECT_EQ(padFirst, padSecond);
        EXPECT_EQ(0, std::memcmp(first, second, 8));
        CrtSrand(static_cast<uint32_t>(before));
        for (int i = 1; i <= 7; ++i) {
            EXPECT_EQ(padFirst[i], CrtRand() * 255 / kCrtRandMax) << "pad byte " << i;
        }
        return;
    }
    FAIL() << "never managed two calls within one millisecond";
}

}  // namespace
}  // namespace tarvu
