#include "crypto/prime_search.h"

#include "bn_reference.h"
#include "crypto/crypto_status.h"
#include "crypto/small_prime_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvu {
namespace {

using testing::Bn;
using testing::ToBn;

BN_CTX* Ctx() {
    static BN_CTX* const ctx = BN_CTX_new();
    return ctx;
}

bool OpenSslPrime(uint64_t v) {
    Bn n(BN_new());
    BN_set_word(n.get(), v);
    return BN_check_prime(n.get(), Ctx(), nullptr) == 1;
}

RandomState Seeded(uint8_t tag) {
    RandomState s;
    RandomInit(s);
    const std::vector<uint8_t> seed(256, tag);
    RandomUpdate(s, seed.data(), seed.size());
    return s;
}

TEST(SmallPrimeTable, HoldsEveryOddPrimeBelow8192) {
    std::vector<uint16_t> expected;
    for (uint16_t n = 3; n < 8192; n += 2) {
        bool prime = true;
        for (uint16_t d = 3; d * d <= n && prime; d += 2) {
            prime = n % d != 0;
        }
        if (prime) {
            expected.push_back(n);
        }
    }
    EXPECT_EQ(expected.size(), 1027u);
    EXPECT_EQ(std::vector<uint16_t>(SmallPrimeTable.begin(), SmallPrimeTable.end()), expected);
}

TEST(IsProbablePrime, TrialDivisionThenOneFermatTest) {
    const BnDigit p8191 = 8191;
    EXPECT_TRUE(IsProbablePrime(&p8191, 1)) << "a one-digit table prime is tested, not divided";
    for (BnDigit odd : {1u, 9u, 15u, 8193u}) {
        EXPECT_FALSE(IsProbablePrime(&odd, 1)) << odd;
    }

    // Chernick: with 6k+1, 12k+1 and 18k+1 all prime, their product is a Carmichael number
    // and so a base-2 Fermat pseudoprime; with 6k+1 above 8192 no table prime divides it.
    uint64_t k = 1366;
    while (!(OpenSslPrime(6 * k + 1) && OpenSslPrime(12 * k + 1) && OpenSslPrime(18 * k + 1))) {
        ++k;
    }
    const uint64_t n = (6 * k + 1) * (12 * k + 1) * (18 * k + 1);
    ASSERT_FALSE(OpenSslPrime(n));
    const BnDigit pseudo[2] = {static_cast<BnDigit>(n), static_cast<BnDigit>(n >> 32)};
    EXPECT_TRUE(IsProbablePrime(pseudo, 2)) << n << ", k = " << k;

    // Elsewhere it agrees with OpenSSL.
    std::mt19937 rng(21);
    for (int trial = 0; trial < 2000; ++trial) {
        const int digits = 2 + static_cast<int>(rng() % 7);
        BnDigit a[8];
        for (int i = 0; i < digits; ++i) {
            a[i] = static_cast<BnDigit>(rng()) | (i == 0 ? 1u : 0u);
        }
        EXPECT_EQ(IsProbablePrime(a, digits),
                  BN_check_prime(ToBn(a, digits).get(), Ctx(), nullptr) == 1);
    }
}

// The sieved search must stop where testing each candidate with IsProbablePrime from the
// same random start stops, and draw exactly 4 * digits bytes.
TEST(GeneratePrime, FirstProbablePrimeFromRandomStart) {
    for (int digits : {2, 5, 16}) {
        BnDigit lo[16] = {};
        BnDigit hi[16] = {};
        lo[digits - 1] = 0xC0000000u;
        std::fill(hi, hi + digits, 0xFFFFFFFFu);
        for (uint8_t tag = 1; tag <= 3; ++tag) {
            RandomState state = Seeded(tag);
            RandomState copy = state;
            std::vector<uint8_t> bytes(4 * static_cast<size_t>(digits));
            RandomGenerate(bytes.data(), bytes.size(), copy);
            BnDigit walk[16];
            BnDecode(walk, digits, bytes.data(), bytes.size());
            walk[digits - 1] = (walk[digits - 1] & 0x3FFFFFFFu) | 0xC0000000u;  // mod 2^(b-2) + lo
            walk[0] |= 1;
            const BnDigit two[16] = {2};
            while (!IsProbablePrime(walk, digits)) {
                BnAdd(walk, walk, two, digits);
            }
            BnDigit p[16];
            ASSERT_EQ(GeneratePrime(p, lo, hi, 2, digits, state), kCryptoOk);
            EXPECT_EQ(BnCompare(p, walk, digits), 0) << digits << " digits, seed " << int{tag};
            EXPECT_EQ(state.counter, copy.counter);
            EXPECT_EQ(state.outLeft, copy.outLeft);
        }
    }
    RandomState unseeded;
    RandomInit(unseeded);
    BnDigit p;
    const BnDigit lo = 3;
    const BnDigit hi = 99;
    EXPECT_EQ(GeneratePrime(&p, &lo, &hi, 2, 1, unseeded), kErrNotSeeded);
}

// Inside the prime gaps 1327..1361 (tested number by number) and 19609..19661 (sieved):
// no prime in the range, or only hi itself.
TEST(GeneratePrime, StopsAtTopOfRange) {
    const BnDigit cases[][4] = {
        {1328, 1360, kErrPrimeNotFound, 0},
        {1328, 1361, kCryptoOk, 1361},
        {19610, 19660, kErrPrimeNotFound, 0},
        {19610, 19661, kCryptoOk, 19661},
    };
    for (const auto& c : cases) {
        for (uint8_t tag = 1; tag <= 8; ++tag) {
            RandomState state = Seeded(tag);
            BnDigit p = 0;
            EXPECT_EQ(GeneratePrime(&p, &c[0], &c[1], 2, 1, state), static_cast<int>(c[2]))
                << c[0] << ".." << c[1];
            EXPECT_EQ(p, c[3]);
        }
    }
}

}  // namespace
}  // namespace tarvu
