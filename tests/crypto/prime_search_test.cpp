#include "crypto/prime_search.h"

#include "bn_reference.h"
#include "crypto/crypto_status.h"
#include "crypto/small_prime_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvu {
namespace {

using testing::Bn;
using testing::BnCtx;
using testing::ToBn;

bool OpenSslPrime(const BIGNUM* n, BN_CTX* ctx) {
    return BN_check_prime(n, ctx, nullptr) == 1;
}

bool OpenSslPrime(uint64_t v, BN_CTX* ctx) {
    Bn n(BN_new());
    BN_set_word(n.get(), v);
    return OpenSslPrime(n.get(), ctx);
}

RandomState SeededState(uint8_t tag) {
    RandomState s;
    RandomInit(s);
    std::vector<uint8_t> seed(256, tag);
    RandomUpdate(s, seed.data(), seed.size());
    return s;
}

TEST(SmallPrimeTable, HoldsEveryOddPrimeBelow8192) {
    BnCtx ctx(BN_CTX_new());
    std::vector<uint16_t> expected;
    for (uint64_t n = 3; n < 8192; n += 2) {
        if (OpenSslPrime(n, ctx.get())) {
            expected.push_back(static_cast<uint16_t>(n));
        }
    }
    EXPECT_EQ(expected.size(), 1027u);
    EXPECT_EQ(std::vector<uint16_t>(SmallPrimeTable.begin(), SmallPrimeTable.end()), expected);
}

TEST(IsProbablePrime, SmallNumbers) {
    const BnDigit p8191 = 8191;
    EXPECT_TRUE(IsProbablePrime(&p8191, 1)) << "a table prime is tested, not divided";
    const BnDigit three = 3;
    EXPECT_TRUE(IsProbablePrime(&three, 1));
    for (BnDigit odd : {9u, 15u, 21u, 8193u, 3u * 8191u}) {
        EXPECT_FALSE(IsProbablePrime(&odd, 1)) << odd;
    }
    const BnDigit p8209[2] = {8209, 0};  // the first prime past the table
    EXPECT_TRUE(IsProbablePrime(p8209, 2));
    const BnDigit one = 1;
    EXPECT_FALSE(IsProbablePrime(&one, 1));
}

// Chernick: when 6k+1, 12k+1 and 18k+1 are all prime, their product is a Carmichael number,
// so it passes the base-2 Fermat test. With 6k+1 above 8192 no small prime divides it.
TEST(IsProbablePrime, AcceptsFermatPseudoprimeWithoutSmallFactors) {
    BnCtx ctx(BN_CTX_new());
    uint64_t k = 1366;
    while (!(OpenSslPrime(6 * k + 1, ctx.get()) && OpenSslPrime(12 * k + 1, ctx.get()) &&
             OpenSslPrime(18 * k + 1, ctx.get()))) {
        ++k;
    }
    ASSERT_GT(6 * k + 1, 8192u);
    const uint64_t n = (6 * k + 1) * (12 * k + 1) * (18 * k + 1);
    // Independently: 2^n mod n = 2.
    __extension__ typedef unsigned __int128 U128;
    uint64_t result = 1;
    uint64_t base = 2;
    for (uint64_t e = n; e != 0; e >>= 1) {
        if (e & 1) {
            result = static_cast<uint64_t>(static_cast<U128>(result) * base % n);
        }
        base = static_cast<uint64_t>(static_cast<U128>(base) * base % n);
    }
    ASSERT_EQ(result, 2u);
    ASSERT_FALSE(OpenSslPrime(n, ctx.get()));

    const BnDigit a[2] = {static_cast<BnDigit>(n), static_cast<BnDigit>(n >> 32)};
    EXPECT_TRUE(IsProbablePrime(a, 2)) << n << " = (6k+1)(12k+1)(18k+1), k = " << k;
}

TEST(IsProbablePrime, AgreesWithOpenSslOnRandomOddNumbers) {
    std::mt19937 rng(21);
    BnCtx ctx(BN_CTX_new());
    int primes = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const int digits = 2 + static_cast<int>(rng() % 7);
        BnDigit a[kBnMaxDigits];
        for (int i = 0; i < digits; ++i) {
            a[i] = static_cast<BnDigit>(rng());
        }
        a[0] |= 1;
        Bn ref = ToBn(a, digits);
        const bool expected = OpenSslPrime(ref.get(), ctx.get());
        primes += expected ? 1 : 0;
        EXPECT_EQ(IsProbablePrime(a, digits), expected) << "trial " << trial;
    }
    EXPECT_GT(primes, 10);
}

// The candidate GeneratePrime starts from, worked out with OpenSSL from the same bytes.
Bn ExpectedStart(const uint8_t* bytes, size_t n, const BIGNUM* lo, const BIGNUM* hi, BN_CTX* ctx) {
    Bn a = testing::BytesToBn(bytes, n);
    Bn range(BN_new());
    BN_sub(range.get(), hi, lo);
    BN_add_word(range.get(), 1);
    BN_mod(a.get(), a.get(), range.get(), ctx);
    BN_add(a.get(), a.get(), lo);
    if (!BN_is_odd(a.get())) {
        BN_add_word(a.get(), 1);
    }
    if (BN_cmp(a.get(), hi) > 0) {
        BN_sub_word(a.get(), 2);
    }
    return a;
}

TEST(GeneratePrime, FindsFirstProbablePrimeFromRandomStart) {
    BnCtx ctx(BN_CTX_new());
    for (int digits : {2, 4, 5, 16}) {
        const int bits = 32 * digits;
        BnDigit lo[kBnMaxDigits] = {};
        BnDigit hi[kBnMaxDigits] = {};
        lo[digits - 1] = 0xC0000000u;
        for (int i = 0; i < digits; ++i) {
            hi[i] = 0xFFFFFFFFu;
        }
        Bn rlo = ToBn(lo, digits);
        Bn rhi = ToBn(hi, digits);
        for (uint8_t tag = 1; tag <= 4; ++tag) {
            RandomState state = SeededState(tag);
            RandomState copy = state;
            std::vector<uint8_t> bytes(4 * static_cast<size_t>(digits));
            ASSERT_EQ(RandomGenerate(bytes.data(), bytes.size(), copy), kCryptoOk);
            Bn start = ExpectedStart(bytes.data(), bytes.size(), rlo.get(), rhi.get(), ctx.get());

            BnDigit p[kBnMaxDigits];
            ASSERT_EQ(GeneratePrime(p, lo, hi, 2, digits, state), kCryptoOk);
            EXPECT_EQ(state.counter, copy.counter) << "draws 4 * digits bytes, no more";
            EXPECT_EQ(state.outLeft, copy.outLeft);

            // Walk from the start with IsProbablePrime: the sieve must stop at the same number.
            BnDigit walk[kBnMaxDigits];
            ASSERT_TRUE(testing::FromBn(walk, digits, start.get()));
            const BnDigit two[kBnMaxDigits] = {2};
            while (!IsProbablePrime(walk, digits)) {
                BnAdd(walk, walk, two, digits);
            }
            EXPECT_EQ(BnCompare(p, walk, digits), 0) << bits << " bits, seed " << int{tag};
            Bn rp = ToBn(p, digits);
            EXPECT_TRUE(OpenSslPrime(rp.get(), ctx.get()));
            EXPECT_GE(BN_cmp(rp.get(), rlo.get()), 0);
            EXPECT_LE(BN_cmp(rp.get(), rhi.get()), 0);
        }
    }
}

// Ranges inside the prime gaps 1327..1361 (below the table's end, tested number by number)
// and 19609..19661 (above it, sieved): no prime inside, or only hi itself. One digit, so
// that 1361 counts as the table prime it is.
TEST(GeneratePrime, StopsAtTopOfRange) {
    struct Case {
        BnDigit lo, hi;
        int expectedStatus;
        BnDigit expectedPrime;
    };
    const Case cases[] = {
        {1328, 1360, kErrPrimeNotFound, 0},
        {1328, 1361, kCryptoOk, 1361},
        {19610, 19660, kErrPrimeNotFound, 0},
        {19610, 19661, kCryptoOk, 19661},
    };
    for (const Case& c : cases) {
        for (uint8_t tag = 1; tag <= 8; ++tag) {
            RandomState state = SeededState(tag);
            BnDigit p = 0;
            EXPECT_EQ(GeneratePrime(&p, &c.lo, &c.hi, 2, 1, state), c.expectedStatus)
                << c.lo << ".." << c.hi;
            if (c.expectedStatus == kCryptoOk) {
                EXPECT_EQ(p, c.expectedPrime);
            }
        }
    }
}

TEST(GeneratePrime, NeedsSeededState) {
    RandomState state;
    RandomInit(state);
    BnDigit p[4] = {};
    const BnDigit lo[4] = {0, 0, 0, 0xC0000000u};
    const BnDigit hi[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    EXPECT_EQ(GeneratePrime(p, lo, hi, 2, 4, state), kErrNotSeeded);
}

}  // namespace
}  // namespace tarvu
