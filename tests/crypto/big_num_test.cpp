#include "crypto/big_num.h"

#include "bn_reference.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tarvu {
namespace {

using testing::Bn;
using testing::Equal;
using testing::RandomNumber;
using testing::ToBn;

TEST(BigNum, BytesShiftsAndPowers) {
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    BnDigit a[3] = {9, 9, 9};
    BnDecode(a, 3, bytes, sizeof bytes);
    EXPECT_EQ(a[0], 0x02030405u);
    EXPECT_EQ(a[1], 0x01u);
    EXPECT_EQ(a[2], 0u) << "digits beyond the string are 0";
    uint8_t out[7];
    BnEncode(out, sizeof out, a, 3);
    const uint8_t expected[] = {0, 0, 0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(0, std::memcmp(out, expected, sizeof out)) << "right-aligned";
    BnEncode(out, 3, a, 3);
    EXPECT_EQ(out[0], 0x03) << "what does not fit is dropped";

    BnPow2(a, 70, 3);
    EXPECT_EQ(a[2], 64u);
    BnPow2(a, 96, 3);
    EXPECT_TRUE(BnIsZero(a, 3));

    const BnDigit b[3] = {0x80000001u, 0xFFFFFFFFu, 0x1u};
    EXPECT_EQ(BnShiftLeft(a, b, 31, 3), 0u);
    EXPECT_EQ(a[2], 0xFFFFFFFFu);
    EXPECT_EQ(BnShiftRight(a, b, 1, 3), 1u);
    EXPECT_EQ(a[0], 0xC0000000u);
    EXPECT_EQ(BnShiftLeft(a, b, 32, 3), 0u);
    EXPECT_EQ(a[0], 0xC0000000u) << "a count of 32 does nothing";
    EXPECT_EQ(BnSignificantBits(b, 3), 65u);
}

// Random operands of every width, and two divisions that need the add-back step.
TEST(BigNum, ArithmeticMatchesOpenSsl) {
    std::mt19937 rng(11);
    BN_CTX* ctx = BN_CTX_new();
    Bn expected(BN_new());
    Bn rem(BN_new());
    for (int trial = 0; trial < 3000; ++trial) {
        const int digits = 1 + static_cast<int>(rng() % kBnMaxDigits);
        BnDigit b[kBnMaxDigits];
        BnDigit c[kBnMaxDigits];
        RandomNumber(b, digits, rng);
        RandomNumber(c, digits, rng);
        c[0] |= 1;
        Bn rb = ToBn(b, digits);
        Bn rc = ToBn(c, digits);

        BnDigit sum[kBnMaxDigits + 1];
        sum[digits] = BnAdd(sum, b, c, digits);
        BN_add(expected.get(), rb.get(), rc.get());
        ASSERT_TRUE(Equal(sum, digits + 1, expected.get())) << "add " << trial;
        BnDigit diff[kBnMaxDigits];
        ASSERT_EQ(BnSub(diff, sum, c, digits), sum[digits]) << "borrow " << trial;
        ASSERT_EQ(BnCompare(diff, b, digits), 0) << "sub " << trial;

        BnDigit product[kBnMaxProductDigits];
        BnMul(product, b, c, digits);
        BN_mul(expected.get(), rb.get(), rc.get(), ctx);
        ASSERT_TRUE(Equal(product, 2 * digits, expected.get())) << "mul " << trial;

        const int cDigits = 1 + static_cast<int>(rng() % static_cast<uint32_t>(digits));
        BnDigit q[kBnMaxProductDigits];
        BnDigit r[kBnMaxDigits];
        BnDivMod(q, r, product, 2 * digits, c, cDigits);
        BN_div(expected.get(), rem.get(), ToBn(product, 2 * digits).get(), ToBn(c, cDigits).get(),
               ctx);
        ASSERT_TRUE(Equal(q, 2 * digits, expected.get())) << "quotient " << trial;
        ASSERT_TRUE(Equal(r, cDigits, rem.get())) << "remainder " << trial;
    }
    const BnDigit u1[4] = {0, 0, 0x80000000u, 0x7FFFFFFFu};
    const BnDigit v1[3] = {1, 0, 0x80000000u};
    const BnDigit u2[3] = {3, 0, 0x80000000u};
    const BnDigit v2[3] = {1, 0, 0x20000000u};
    BnDigit q[4];
    BnDigit r[3];
    BnDivMod(q, r, u1, 4, v1, 3);
    BN_div(expected.get(), rem.get(), ToBn(u1, 4).get(), ToBn(v1, 3).get(), ctx);
    EXPECT_TRUE(Equal(q, 4, expected.get()) && Equal(r, 3, rem.get()));
    BnDivMod(q, r, u2, 3, v2, 3);
    BN_div(expected.get(), rem.get(), ToBn(u2, 3).get(), ToBn(v2, 3).get(), ctx);
    EXPECT_TRUE(Equal(q, 3, expected.get()) && Equal(r, 3, rem.get()));
    BN_CTX_free(ctx);
}

// Odd moduli take the Montgomery route, even ones the plain one.
TEST(BigNum, ModularRoutinesMatchOpenSsl) {
    std::mt19937 rng(12);
    BN_CTX* ctx = BN_CTX_new();
    Bn expected(BN_new());
    for (int trial = 0; trial < 300; ++trial) {
        const int digits = 1 + static_cast<int>(rng() % 16);
        BnDigit b[kBnMaxDigits];
        BnDigit c[kBnMaxDigits];
        BnDigit m[kBnMaxDigits];
        RandomNumber(b, digits, rng);
        RandomNumber(c, digits, rng);
        RandomNumber(m, digits, rng);
        m[0] = (m[0] & ~1u) | static_cast<BnDigit>(trial % 2) | 0x10000u;
        Bn rb = ToBn(b, digits);
        Bn rm = ToBn(m, digits);
        BnDigit a[kBnMaxDigits];

        BnModExp(a, b, c, digits, m, digits);
        BN_mod_exp(expected.get(), rb.get(), ToBn(c, digits).get(), rm.get(), ctx);
        ASSERT_TRUE(Equal(a, digits, expected.get())) << "modexp " << trial;
        BnModMul(a, b, c, m, digits);
        BN_mod_mul(expected.get(), rb.get(), ToBn(c, digits).get(), rm.get(), ctx);
        ASSERT_TRUE(Equal(a, digits, expected.get())) << "modmul " << trial;
        BnGcd(a, b, m, digits);
        BN_gcd(expected.get(), rb.get(), rm.get(), ctx);
        ASSERT_TRUE(Equal(a, digits, expected.get())) << "gcd " << trial;
        const bool invertible = BN_is_one(expected.get());
        ASSERT_EQ(BnModInverse(a, b, m, digits), invertible) << trial;
        if (invertible) {
            BN_mod_inverse(expected.get(), rb.get(), rm.get(), ctx);
            ASSERT_TRUE(Equal(a, digits, expected.get())) << "inverse " << trial;
        }
    }
    BN_CTX_free(ctx);
}

}  // namespace
}  // namespace tarvu
