#include "crypto/big_num.h"

#include "bn_reference.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tarvu {
namespace {

using testing::Bn;
using testing::BnCtx;
using testing::Equal;
using testing::RandomNumber;
using testing::ToBn;

TEST(BigNum, DecodeAndEncodeAreBigEndianRightAligned) {
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    BnDigit a[3] = {9, 9, 9};
    BnDecode(a, 3, bytes, sizeof bytes);
    EXPECT_EQ(a[0], 0x02030405u);
    EXPECT_EQ(a[1], 0x01u);
    EXPECT_EQ(a[2], 0u) << "digits beyond the string are 0";

    uint8_t out[7] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    BnEncode(out, sizeof out, a, 3);
    const uint8_t expected[] = {0, 0, 0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(0, std::memcmp(out, expected, sizeof out));

    uint8_t narrow[3];
    BnEncode(narrow, sizeof narrow, a, 3);  // what does not fit is dropped
    EXPECT_EQ(narrow[0], 0x03);
    EXPECT_EQ(narrow[2], 0x05);
}

TEST(BigNum, SmallRoutines) {
    BnDigit a[4];
    BnPow2(a, 70, 4);
    EXPECT_EQ(a[2], 64u);
    EXPECT_EQ(a[0] | a[1] | a[3], 0u);
    BnPow2(a, 128, 4);
    EXPECT_TRUE(BnIsZero(a, 4)) << "2^k beyond the digits is 0";

    BnDigit b[3] = {0x80000001u, 0xFFFFFFFFu, 0x1u};
    BnDigit c[3];
    EXPECT_EQ(BnShiftLeft(c, b, 31, 3), 0u);
    EXPECT_EQ(c[0], 0x80000000u);
    EXPECT_EQ(c[2], 0xFFFFFFFFu);
    EXPECT_EQ(BnShiftRight(c, b, 1, 3), 1u);
    EXPECT_EQ(c[0], 0xC0000000u);
    EXPECT_EQ(c[2], 0u);
    c[0] = 5;
    EXPECT_EQ(BnShiftLeft(c, b, 32, 3), 0u);
    EXPECT_EQ(c[0], 5u) << "a count of 32 does nothing";
    EXPECT_EQ(BnShiftRight(c, b, 40, 3), 0u);
    EXPECT_EQ(c[0], 5u);

    EXPECT_EQ(BnDigitBits(0), 0u);
    EXPECT_EQ(BnDigitBits(1), 1u);
    EXPECT_EQ(BnDigitBits(0x80000000u), 32u);
    const BnDigit z[3] = {7, 0, 0};
    EXPECT_EQ(BnSignificantDigits(z, 3), 1);
    EXPECT_EQ(BnSignificantBits(b, 3), 65u);
    EXPECT_EQ(BnCompare(b, z, 3), 1);
    EXPECT_EQ(BnCompare(z, b, 3), -1);
    EXPECT_EQ(BnCompare(b, b, 3), 0);
    EXPECT_EQ(BnDigitMul(0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFE00000001ull);
}

TEST(BigNum, ArithmeticMatchesOpenSsl) {
    std::mt19937 rng(11);
    BnCtx ctx(BN_CTX_new());
    for (int trial = 0; trial < 3000; ++trial) {
        const int digits = 1 + static_cast<int>(rng() % kBnMaxDigits);
        BnDigit b[kBnMaxDigits];
        BnDigit c[kBnMaxDigits];
        RandomNumber(b, digits, rng);
        RandomNumber(c, digits, rng);
        Bn rb = ToBn(b, digits);
        Bn rc = ToBn(c, digits);
        Bn expected(BN_new());

        BnDigit sum[kBnMaxDigits + 1];
        sum[digits] = BnAdd(sum, b, c, digits);
        BN_add(expected.get(), rb.get(), rc.get());
        ASSERT_TRUE(Equal(sum, digits + 1, expected.get())) << "add, trial " << trial;

        BnDigit diff[kBnMaxDigits];
        const BnDigit borrow = BnSub(diff, b, c, digits);
        EXPECT_EQ(borrow, BN_cmp(rb.get(), rc.get()) < 0 ? 1u : 0u);
        if (borrow == 0) {
            BN_sub(expected.get(), rb.get(), rc.get());
            ASSERT_TRUE(Equal(diff, digits, expected.get())) << "sub, trial " << trial;
        }

        BnDigit product[kBnMaxProductDigits];
        BnMul(product, b, c, digits);
        BN_mul(expected.get(), rb.get(), rc.get(), ctx.get());
        ASSERT_TRUE(Equal(product, 2 * digits, expected.get())) << "mul, trial " << trial;

        // Divide the full product (plus a little) by a divisor of any shorter length.
        BnDigit one[kBnMaxProductDigits] = {static_cast<BnDigit>(rng())};
        BnAdd(product, product, one, 2 * digits);
        const int cDigits = 1 + static_cast<int>(rng() % static_cast<uint32_t>(digits));
        if (BnIsZero(c, cDigits)) {
            c[0] = 1;
        }
        BnDigit q[kBnMaxProductDigits];
        BnDigit r[kBnMaxDigits];
        BnDivMod(q, r, product, 2 * digits, c, cDigits);
        Bn rq(BN_new());
        Bn rr(BN_new());
        Bn dividend = ToBn(product, 2 * digits);
        Bn divisor = ToBn(c, cDigits);
        BN_div(rq.get(), rr.get(), dividend.get(), divisor.get(), ctx.get());
        ASSERT_TRUE(Equal(q, 2 * digits, rq.get())) << "quotient, trial " << trial;
        ASSERT_TRUE(Equal(r, cDigits, rr.get())) << "remainder, trial " << trial;

        BnDigit m[kBnMaxDigits];
        BnCopy(m, c, digits);
        BnDigit mm[kBnMaxDigits];
        if (BnIsZero(m, digits)) {
            m[0] = 3;
        }
        BnModMul(mm, b, b, m, digits);
        Bn rm = ToBn(m, digits);
        BN_mod_mul(expected.get(), rb.get(), rb.get(), rm.get(), ctx.get());
        ASSERT_TRUE(Equal(mm, digits, expected.get())) << "modmul, trial " << trial;
    }
}

// Quotient digits whose estimate is too large: divisors with a top digit of 0x80000000 and
// dividends just below a multiple of them.
TEST(BigNum, DivisionCorrectsEstimates) {
    BnCtx ctx(BN_CTX_new());
    const BnDigit c[3] = {0xFFFFFFFFu, 0x00000000u, 0x80000000u};
    BnDigit b[6] = {0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x7FFFFFFFu};
    for (int variant = 0; variant < 4; ++variant) {
        b[0] = variant == 0 ? 0 : 0xFFFFFFFFu;
        b[2] = static_cast<BnDigit>(variant * 0x40000000u);
        BnDigit q[6];
        BnDigit r[3];
        BnDivMod(q, r, b, 6, c, 3);
        Bn rq(BN_new());
        Bn rr(BN_new());
        Bn rb = ToBn(b, 6);
        Bn rc = ToBn(c, 3);
        BN_div(rq.get(), rr.get(), rb.get(), rc.get(), ctx.get());
        EXPECT_TRUE(Equal(q, 6, rq.get())) << variant;
        EXPECT_TRUE(Equal(r, 3, rr.get())) << variant;
    }
}

TEST(BigNum, ModExpInverseAndGcdMatchOpenSsl) {
    std::mt19937 rng(12);
    BnCtx ctx(BN_CTX_new());
    for (int trial = 0; trial < 300; ++trial) {
        const int digits = 1 + static_cast<int>(rng() % 16);
        BnDigit b[kBnMaxDigits];
        BnDigit c[kBnMaxDigits];
        BnDigit m[kBnMaxDigits];
        RandomNumber(b, digits, rng);
        RandomNumber(c, digits, rng);
        RandomNumber(m, digits, rng);
        if (trial % 2 == 0) {
            m[0] |= 1;  // odd moduli take the Montgomery route, even ones the plain one
        } else {
            m[0] &= ~1u;
        }
        if (BnSignificantBits(m, digits) < 2) {
            m[0] = trial % 2 == 0 ? 0x10001u : 0x10000u;
        }
        Bn rb = ToBn(b, digits);
        Bn rc = ToBn(c, digits);
        Bn rm = ToBn(m, digits);
        Bn expected(BN_new());

        BnDigit a[kBnMaxDigits];
        BnModExp(a, b, c, digits, m, digits);
        BN_mod_exp(expected.get(), rb.get(), rc.get(), rm.get(), ctx.get());
        ASSERT_TRUE(Equal(a, digits, expected.get())) << "modexp, trial " << trial;

        BnGcd(a, b, m, digits);
        BN_gcd(expected.get(), rb.get(), rm.get(), ctx.get());
        ASSERT_TRUE(Equal(a, digits, expected.get())) << "gcd, trial " << trial;

        const bool invertible = BN_is_one(expected.get());
        EXPECT_EQ(BnModInverse(a, b, m, digits), invertible) << "trial " << trial;
        if (invertible) {
            BN_mod_inverse(expected.get(), rb.get(), rm.get(), ctx.get());
            ASSERT_TRUE(Equal(a, digits, expected.get())) << "inverse, trial " << trial;
        }
    }
    // A zero exponent gives 1, modulus 1 gives 0.
    const BnDigit base[2] = {5, 7};
    const BnDigit zero[2] = {0, 0};
    const BnDigit odd[2] = {11, 0};
    BnDigit a[2];
    BnModExp(a, base, zero, 2, odd, 2);
    EXPECT_EQ(a[0], 1u);
    const BnDigit unit[2] = {1, 0};
    BnModExp(a, base, base, 2, unit, 2);
    EXPECT_TRUE(BnIsZero(a, 2));
}

}  // namespace
}  // namespace tarvu
