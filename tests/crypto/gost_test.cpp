#include "crypto/gost_cipher.h"
#include "platform/byte_order.h"
#include "platform/crt_random.h"
#include "platform/performance_counter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace tarvu {
namespace {

// The receiver's side, round by round with the program's table: decrypt each block (subkeys
// 0..7, then 7..0 three times), undo the chain from the end, drop the pad and count bytes.
std::vector<uint8_t> RefDecryptPacket(std::vector<uint8_t> data, const GostKey& key,
                                      std::vector<uint8_t>& padBytes) {
    for (size_t off = 0; off < data.size(); off += 8) {
        uint32_t n[2] = {LoadLe32(data.data() + off), LoadLe32(data.data() + off + 4)};
        for (int r = 0; r < 32; ++r) {
            const int i = r < 8 ? r : 7 - r % 8;
            const uint32_t x = n[0] + LoadLe32(key.data() + 4 * i);
            uint32_t s = 0;
            for (int j = 0; j < 8; ++j) {
                s |= static_cast<uint32_t>(GostSBox[j * 16 + ((x >> (4 * j)) & 15)]) << (4 * j);
            }
            const uint32_t next = ((s << 11) | (s >> 21)) ^ n[1];
            n[1] = n[0];
            n[0] = next;
        }
        StoreLe32(data.data() + off, n[1]);
        StoreLe32(data.data() + off + 4, n[0]);
    }
    for (size_t i = data.size() - 1; i >= 1; --i) {
        const uint8_t c = data[i];
        data[i] = static_cast<uint8_t>(((c >> 1) | (c << 7)) ^ data[i - 1]);
    }
    const long b = data.back();
    padBytes.assign(data.begin(), data.begin() + b);
    return std::vector<uint8_t>(data.begin() + b, data.end() - 1);
}

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

TEST(GostPacket, ReceiverRecoversEveryLengthUpTo246) {
    EXPECT_EQ(GostPadCount(0), 7u);
    EXPECT_EQ(GostPadCount(6), 1u);
    EXPECT_EQ(GostPadCount(7), 8u);
    EXPECT_EQ(GostPadCount(8), 7u);
    EXPECT_EQ(GostPadCount(118), 1u);
    std::mt19937 rng(3);
    const GostKey key = RandomKey(rng);
    for (size_t length = 0; length <= kGostMaxBody; ++length) {
        const std::vector<uint8_t> body = RandomBytes(rng, length);
        std::vector<uint8_t> buffer(length + kGostBufferSpare, 0xCC);
        std::copy(body.begin(), body.end(), buffer.begin());
        PadRecord pad;
        pad.fill(0xAB);
        const size_t b = GostPadCount(length);
        const uint8_t n = GostEncryptPacket(buffer, length, pad, key);
        ASSERT_EQ(n, length + b + 1) << "length " << length;
        EXPECT_EQ(pad[0], b);
        if (n < buffer.size()) {
            EXPECT_EQ(buffer[n], 0xCC) << "nothing written past the encrypted body";
        }
        std::vector<uint8_t> padBytes;
        EXPECT_EQ(RefDecryptPacket({buffer.begin(), buffer.begin() + n}, key, padBytes), body)
            << "length " << length;
        EXPECT_TRUE(std::equal(padBytes.begin(), padBytes.end(), pad.begin() + 1));
        // The product's receiving side agrees with the reference.
        std::vector<uint8_t> received(buffer.begin(), buffer.begin() + n);
        size_t offset = 0;
        size_t plainLength = 0;
        ASSERT_TRUE(GostDecryptPacket(received, key, &offset, &plainLength)) << length;
        EXPECT_EQ(offset, b);
        EXPECT_EQ(
            std::vector<uint8_t>(received.begin() + static_cast<ptrdiff_t>(offset),
                                 received.begin() + static_cast<ptrdiff_t>(offset + plainLength)),
            body);
    }
}

TEST(GostPacket, DecryptionRefusesImpossibleLengthsAndPadCounts) {
    std::mt19937 rng(5);
    const GostKey key = RandomKey(rng);
    size_t offset = 0;
    size_t length = 0;
    std::vector<uint8_t> empty;
    EXPECT_FALSE(GostDecryptPacket(empty, key, &offset, &length));
    std::vector<uint8_t> ragged(12, 0x55);
    EXPECT_FALSE(GostDecryptPacket(ragged, key, &offset, &length)) << "not whole blocks";
    // A block whose plain form ends in 0 or in more than 8 has no valid pad count; encrypt
    // such blocks by hand with the block step and see them refused.
    const GostSubkeys subkeys = GostExpandKey(key);
    for (const uint8_t count : {uint8_t{0}, uint8_t{9}, uint8_t{0xFF}}) {
        std::vector<uint8_t> block = {1, 2, 3, 4, 5, 6, 7, 0};
        // The chain rotates each byte left after the XOR; build the chained form backwards.
        std::vector<uint8_t> plain = block;
        plain[7] = count;
        std::vector<uint8_t> chained = plain;
        for (size_t i = 1; i < chained.size(); ++i) {
            const auto x = static_cast<uint8_t>(chained[i] ^ chained[i - 1]);
            chained[i] = static_cast<uint8_t>((x << 1) | (x >> 7));
        }
        GostEncryptBlock(chained.data(), subkeys, kGostRoundTables);
        EXPECT_FALSE(GostDecryptPacket(chained, key, &offset, &length)) << int{count};
    }
}

TEST(GostPacket, RefusalsAndTheEngineForm) {
    std::mt19937 rng(4);
    const GostKey key = RandomKey(rng);
    PadRecord pad;
    pad.fill(0x11);
    std::vector<uint8_t> buffer(300, 0x22);
    EXPECT_EQ(GostEncryptPacket(buffer, 247, pad, key), 0);
    EXPECT_EQ(GostEncryptPacket(buffer, 1000, pad, key), 0);
    EXPECT_EQ(GostEncryptPacket({buffer.data(), 15}, 10, pad, key), 0) << "16 bytes needed";
    EXPECT_EQ(buffer, std::vector<uint8_t>(300, 0x22));
    EXPECT_EQ(pad[0], 0x11);

    uint8_t packet[20] = {1, 2, 3, 4, 5};
    CurrentGostKey = nullptr;
    EXPECT_EQ(GostEncryptPacket(packet, 5, pad), 0) << "no key, nothing done";
    EXPECT_EQ(packet[0], 1);
    CurrentGostKey = &key;
    EXPECT_EQ(GostEncryptPacket(packet, 247, pad), 0);
    ASSERT_EQ(GostEncryptPacket(packet, 5, pad), 8);
    CurrentGostKey = nullptr;
    std::vector<uint8_t> padBytes;
    EXPECT_EQ(RefDecryptPacket({packet, packet + 8}, key, padBytes),
              (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

// The pad bytes are rand() * 255 / 32767 after srand(milliseconds), so two calls within one
// millisecond pad alike.
TEST(GostPacket, PadBytesFollowMillisecondSeed) {
    const GostKey key{};
    const int64_t perMs = QueryPerformanceFrequency() / 1000;
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int64_t before = QueryPerformanceCounter() / perMs;
        uint8_t first[16] = {};
        uint8_t second[16] = {};
        PadRecord padFirst{};
        PadRecord padSecond{};
        GostEncryptPacket(first, 0, padFirst, key);
        GostEncryptPacket(second, 0, padSecond, key);
        if (QueryPerformanceCounter() / perMs != before) {
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
