#include "crypto/random_generator.h"

#include "crypto/crypto_status.h"
#include "crypto/md5.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <ctime>
#include <vector>

namespace tarvu {
namespace {

using Counter = std::array<uint8_t, 16>;

Md5Digest RefMd5(const uint8_t* data, size_t n) {
    Md5Digest d{};
    unsigned int len = 0;
    EVP_Digest(data, n, d.data(), &len, EVP_md5(), nullptr);
    return d;
}

__extension__ typedef unsigned __int128 U128;

U128 ToWide(const Counter& c) {
    U128 v = 0;
    for (uint8_t b : c) {
        v = (v << 8) | b;
    }
    return v;
}

Counter FromWide(U128 v) {
    Counter c{};
    for (int i = 15; i >= 0; --i) {
        c[i] = static_cast<uint8_t>(v);
        v >>= 8;
    }
    return c;
}

RandomState Seeded() {
    RandomState s;
    RandomInit(s);
    std::vector<uint8_t> seed(256, 0x5A);
    RandomUpdate(s, seed.data(), seed.size());
    return s;
}

TEST(RandomGenerator, RefusesOutputUntilSeeded) {
    RandomState s;
    s.outBlock.fill(0xEE);
    RandomInit(s);
    uint32_t needed = 0;
    RandomSeedNeeded(needed, s);
    EXPECT_EQ(needed, 256u);
    EXPECT_EQ(s.outBlock[0], 0xEE) << "RandomInit keeps outBlock";

    uint8_t out[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<uint8_t> seed(255, 1);
    RandomUpdate(s, seed.data(), seed.size());
    const RandomState before = s;
    EXPECT_EQ(RandomGenerate(out, sizeof out, s), kErrNotSeeded);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[7], 8);
    EXPECT_EQ(s.counter, before.counter);
    EXPECT_EQ(s.outLeft, before.outLeft);

    uint8_t one = 0;
    RandomUpdate(s, &one, 1);
    EXPECT_EQ(RandomGenerate(out, sizeof out, s), kCryptoOk);

    // One large update clamps at zero rather than wrapping.
    RandomState t;
    RandomInit(t);
    std::vector<uint8_t> big(300, 9);
    RandomUpdate(t, big.data(), big.size());
    RandomSeedNeeded(needed, t);
    EXPECT_EQ(needed, 0u);
}

TEST(RandomGenerator, UpdateAddsDigestToCounterWithCarry) {
    RandomState s;
    RandomInit(s);
    const uint8_t a[] = {'x', 'y', 'z'};
    RandomUpdate(s, a, sizeof a);
    EXPECT_EQ(s.counter, RefMd5(a, sizeof a));

    // Near the top, so that the sum carries through many bytes and the final carry drops.
    s.counter.fill(0xFF);
    s.counter[0] = 0x7F;
    const Counter before = s.counter;
    const uint8_t b[] = {1, 2, 3, 4};
    RandomUpdate(s, b, sizeof b);
    const Md5Digest d = RefMd5(b, sizeof b);
    EXPECT_EQ(s.counter, FromWide(ToWide(before) + ToWide(d)));
}

TEST(RandomGenerator, CounterStepCarriesWhenByteWasZero) {
    Counter c{};
    c[15] = 0;
    c[14] = 5;
    RandomStepCounter(c);
    EXPECT_EQ(c[15], 1);
    EXPECT_EQ(c[14], 6) << "byte 15 was 0, so byte 14 steps too";

    c = Counter{};
    c[15] = 255;
    c[14] = 5;
    RandomStepCounter(c);
    EXPECT_EQ(c[15], 0);
    EXPECT_EQ(c[14], 5) << "wrapping 255 -> 0 does not carry";

    c = Counter{};  // all zero: every byte was 0, so every byte steps
    RandomStepCounter(c);
    for (uint8_t byte : c) {
        EXPECT_EQ(byte, 1);
    }

    c = Counter{};
    c[15] = 0;
    c[14] = 0;
    c[13] = 7;
    RandomStepCounter(c);
    EXPECT_EQ(c[15], 1);
    EXPECT_EQ(c[14], 1);
    EXPECT_EQ(c[13], 8);
    EXPECT_EQ(c[12], 0);
}

TEST(RandomGenerator, OutputIsDigestOfCounterThenSteps) {
    RandomState s = Seeded();
    const Counter seeded = s.counter;
    uint8_t out[17];
    ASSERT_EQ(RandomGenerate(out, 17, s), kCryptoOk);
    const Md5Digest first = RefMd5(seeded.data(), 16);
    Counter stepped = seeded;
    RandomStepCounter(stepped);
    const Md5Digest second = RefMd5(stepped.data(), 16);
    EXPECT_EQ(0, std::memcmp(out, first.data(), 16));
    EXPECT_EQ(out[16], second[0]);
    EXPECT_EQ(s.outLeft, 15u);
    RandomStepCounter(stepped);
    EXPECT_EQ(s.counter, stepped);
}

TEST(RandomGenerator, SplitRequestsMatchOneRequest) {
    RandomState whole = Seeded();
    RandomState split = Seeded();
    uint8_t a[40];
    uint8_t b[40];
    ASSERT_EQ(RandomGenerate(a, 16, whole), kCryptoOk);
    ASSERT_EQ(RandomGenerate(b, 5, split), kCryptoOk);
    ASSERT_EQ(RandomGenerate(b + 5, 11, split), kCryptoOk);
    EXPECT_EQ(0, std::memcmp(a, b, 16));
    EXPECT_EQ(split.outLeft, 0u);

    // A zero-byte request changes nothing.
    const RandomState before = split;
    EXPECT_EQ(RandomGenerate(b, 0, split), kCryptoOk);
    EXPECT_EQ(split.counter, before.counter);
    EXPECT_EQ(split.outLeft, before.outLeft);
    EXPECT_EQ(split.outBlock, before.outBlock);

    // Odd pieces across several digests still give the same stream.
    ASSERT_EQ(RandomGenerate(a, 37, whole), kCryptoOk);
    ASSERT_EQ(RandomGenerate(b, 1, split), kCryptoOk);
    ASSERT_EQ(RandomGenerate(b + 1, 20, split), kCryptoOk);
    ASSERT_EQ(RandomGenerate(b + 21, 16, split), kCryptoOk);
    EXPECT_EQ(0, std::memcmp(a, b, 37));
}

TEST(RandomGenerator, UnreadBytesComeBeforeNewSeed) {
    RandomState s = Seeded();
    uint8_t out[16];
    ASSERT_EQ(RandomGenerate(out, 4, s), kCryptoOk);
    const Md5Digest pending = s.outBlock;
    const uint8_t extra[] = {42};
    RandomUpdate(s, extra, 1);
    const Counter reseeded = s.counter;
    ASSERT_EQ(RandomGenerate(out, 16, s), kCryptoOk);
    EXPECT_EQ(0, std::memcmp(out, pending.data() + 4, 12));
    EXPECT_EQ(out[12], RefMd5(reseeded.data(), 16)[0]);
}

struct FakeClock {
    int calls = 0;
};

ClockReading FakeReading(void* context) {
    auto* clock = static_cast<FakeClock*>(context);
    ++clock->calls;
    ClockReading r;
    for (int i = 0; i < 9; ++i) {
        r.brokenDownTime[i] = i * 10 + clock->calls;
    }
    r.processorTime = 0xA0B0C0D0u + static_cast<uint32_t>(clock->calls);
    return r;
}

TEST(RandomGenerator, SeedFromClockRestartsAndMakesThirteenPasses) {
    RandomState s = Seeded();
    uint8_t out[3];
    RandomGenerate(out, 3, s);
    FakeClock clock;
    RandomSeedFromClock(s, &FakeReading, &clock);
    EXPECT_EQ(clock.calls, 13);
    EXPECT_EQ(s.seedNeeded, 0u);
    EXPECT_EQ(s.outLeft, 0u);

    // The same counter from 26 updates over a fresh state, the time as nine LE integers.
    RandomState expected;
    expected.seedNeeded = 512;
    for (int call = 1; call <= 13; ++call) {
        uint8_t time[36];
        for (int i = 0; i < 9; ++i) {
            const uint32_t v = static_cast<uint32_t>(i * 10 + call);
            for (int k = 0; k < 4; ++k) {
                time[4 * i + k] = static_cast<uint8_t>(v >> (8 * k));
            }
        }
        const uint32_t ticks = 0xA0B0C0D0u + static_cast<uint32_t>(call);
        const uint8_t tickBytes[4] = {static_cast<uint8_t>(ticks), static_cast<uint8_t>(ticks >> 8),
                                      static_cast<uint8_t>(ticks >> 16),
                                      static_cast<uint8_t>(ticks >> 24)};
        RandomUpdate(expected, time, sizeof time);
        RandomUpdate(expected, tickBytes, sizeof tickBytes);
    }
    EXPECT_EQ(s.counter, expected.counter);

    // The real clocks seed a state fully too.
    RandomState real;
    RandomSeedFromClock(real);
    EXPECT_EQ(RandomGenerate(out, 3, real), kCryptoOk);
}

TEST(RandomGenerator, ReadClocksGivesBrokenDownUtcTime) {
    // Compare with the C library's conversion of the same second; retry across a tick.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t before = std::time(nullptr);
        const ClockReading r = ReadClocks(nullptr);
        if (std::time(nullptr) != before) {
            continue;
        }
        const std::tm tm = *std::gmtime(&before);
        const std::array<int32_t, 9> expected = {tm.tm_sec,  tm.tm_min,  tm.tm_hour,
                                                 tm.tm_mday, tm.tm_mon,  tm.tm_year,
                                                 tm.tm_wday, tm.tm_yday, 0};
        EXPECT_EQ(r.brokenDownTime, expected);
        return;
    }
    FAIL() << "the second never held still";
}

}  // namespace
}  // namespace tarvu
