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

RandomState Seeded() {
    RandomState s;
    RandomInit(s);
    const std::vector<uint8_t> seed(256, 0x5A);
    RandomUpdate(s, seed.data(), seed.size());
    return s;
}

TEST(RandomGenerator, SeedingAndCounterArithmetic) {
    RandomState s;
    RandomInit(s);
    uint8_t out[4] = {1, 2, 3, 4};
    const std::vector<uint8_t> seed(255, 1);
    RandomUpdate(s, seed.data(), seed.size());
    EXPECT_EQ(RandomGenerate(out, sizeof out, s), kErrNotSeeded);
    EXPECT_EQ(out[0], 1) << "nothing written while seed is needed";
    EXPECT_EQ(s.counter, RefMd5(seed.data(), seed.size())) << "counter 0 + digest";
    RandomUpdate(s, seed.data(), 1);
    EXPECT_EQ(RandomGenerate(out, sizeof out, s), kCryptoOk);

    RandomInit(s);  // one update of 300 bytes leaves 0, not a wrapped count
    const std::vector<uint8_t> big(300, 9);
    RandomUpdate(s, big.data(), big.size());
    uint32_t needed = 1;
    RandomSeedNeeded(needed, s);
    EXPECT_EQ(needed, 0u);

    // The addition carries through every 0xFF byte and drops the final carry.
    s.counter.fill(0xFF);
    const uint8_t b[] = {1, 2, 3, 4};
    const Md5Digest d = RefMd5(b, sizeof b);
    Counter expected = d;
    for (int i = 15; i >= 0 && expected[i]-- == 0; --i) {
    }
    RandomUpdate(s, b, sizeof b);
    EXPECT_EQ(s.counter, expected) << "all-ones + d = d - 1 mod 2^128";

    // The step moves on when a byte WAS 0, not when it wraps.
    Counter c{};
    c[14] = 5;
    RandomStepCounter(c);
    EXPECT_EQ(c[15], 1);
    EXPECT_EQ(c[14], 6);
    c[15] = 255;
    RandomStepCounter(c);
    EXPECT_EQ(c[15], 0);
    EXPECT_EQ(c[14], 6);
    c = Counter{};
    RandomStepCounter(c);
    for (uint8_t byte : c) {
        EXPECT_EQ(byte, 1) << "every byte was 0, so every byte steps";
    }
}

TEST(RandomGenerator, OutputStream) {
    RandomState s = Seeded();
    Counter counter = s.counter;
    uint8_t out[17];
    ASSERT_EQ(RandomGenerate(out, 17, s), kCryptoOk);
    const Md5Digest first = RefMd5(counter.data(), 16);
    RandomStepCounter(counter);
    EXPECT_EQ(0, std::memcmp(out, first.data(), 16));
    EXPECT_EQ(out[16], RefMd5(counter.data(), 16)[0]);
    EXPECT_EQ(s.outLeft, 15u);

    // 5 + 11 bytes are the 16 of one request; 0 bytes change nothing.
    RandomState whole = Seeded();
    RandomState split = Seeded();
    uint8_t a[16];
    uint8_t b[16];
    RandomGenerate(a, 16, whole);
    RandomGenerate(b, 5, split);
    RandomGenerate(b + 5, 11, split);
    EXPECT_EQ(0, std::memcmp(a, b, 16));
    const RandomState before = split;
    EXPECT_EQ(RandomGenerate(b, 0, split), kCryptoOk);
    EXPECT_EQ(split.counter, before.counter);
    EXPECT_EQ(split.outLeft, before.outLeft);

    // Unread bytes go out first even after new seed; the next digest reflects the seed.
    RandomGenerate(a, 4, split);
    const Md5Digest pending = split.outBlock;
    RandomUpdate(split, a, 1);
    const Counter reseeded = split.counter;
    RandomGenerate(b, 16, split);
    EXPECT_EQ(0, std::memcmp(b, pending.data() + 4, 12));
    EXPECT_EQ(b[12], RefMd5(reseeded.data(), 16)[0]);
}

int gClockCalls = 0;

ClockReading FakeReading(void*) {
    ++gClockCalls;
    ClockReading r;
    r.brokenDownTime.fill(gClockCalls);
    r.processorTime = 0xA0B0C0D0u;
    return r;
}

TEST(RandomGenerator, SeedFromClock) {
    RandomState s = Seeded();
    gClockCalls = 0;
    RandomSeedFromClock(s, &FakeReading, nullptr);
    EXPECT_EQ(gClockCalls, 13);
    EXPECT_EQ(s.seedNeeded, 0u);

    // The same counter from 26 updates of a fresh state: nine LE integers, then the clock.
    RandomState expected;
    for (int call = 1; call <= 13; ++call) {
        uint8_t time[36] = {};
        for (int i = 0; i < 9; ++i) {
            time[4 * i] = static_cast<uint8_t>(call);
        }
        const uint8_t ticks[4] = {0xD0, 0xC0, 0xB0, 0xA0};
        RandomUpdate(expected, time, sizeof time);
        RandomUpdate(expected, ticks, sizeof ticks);
    }
    EXPECT_EQ(s.counter, expected.counter);

    // The real reading is broken-down UTC time as the C library gives it.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t now = std::time(nullptr);
        const ClockReading r = ReadClocks(nullptr);
        if (std::time(nullptr) == now) {
            const std::tm tm = *std::gmtime(&now);
            EXPECT_EQ(r.brokenDownTime,
                      (std::array<int32_t, 9>{tm.tm_sec, tm.tm_min, tm.tm_hour, tm.tm_mday,
                                              tm.tm_mon, tm.tm_year, tm.tm_wday, tm.tm_yday, 0}));
            return;
        }
    }
    FAIL() << "the second never held still";
}

}  // namespace
}  // namespace tarvu
