#include "crypto/rsa_key_pair.h"

#include "bn_reference.h"
#include "crypto/crypto_status.h"

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <string>
#include <vector>

namespace tarvu {
namespace {

using testing::Bn;
using testing::BnCtx;
using testing::BytesToBn;

RandomState SeededState(const std::string& tag) {
    RandomState s;
    RandomInit(s);
    std::vector<uint8_t> seed(256, 0);
    std::copy(tag.begin(), tag.end(), seed.begin());
    RandomUpdate(s, seed.data(), seed.size());
    return s;
}

Bn Field(const uint8_t* record, size_t offset, size_t size) {
    return BytesToBn(record + offset, size);
}

size_t LeadingZeros(const uint8_t* p, size_t n) {
    size_t k = 0;
    while (k < n && p[k] == 0) {
        ++k;
    }
    return k;
}

// OpenSSL's RSA key check (primality of p and q, n = pq, d e = 1 mod lcm, the CRT values).
bool OpenSslAcceptsKey(const RsaPrivateKey& k) {
    Bn n = Field(k.data(), kRsaModulusOffset, kRsaNumberSize);
    Bn e = Field(k.data(), kRsaPublicExponentOffset, kRsaNumberSize);
    Bn d = Field(k.data(), kRsaPrivateExponentOffset, kRsaNumberSize);
    Bn p = Field(k.data(), kRsaPrime1Offset, kRsaPrimeSize);
    Bn q = Field(k.data(), kRsaPrime2Offset, kRsaPrimeSize);
    Bn dp = Field(k.data(), kRsaExponent1Offset, kRsaPrimeSize);
    Bn dq = Field(k.data(), kRsaExponent2Offset, kRsaPrimeSize);
    Bn qInv = Field(k.data(), kRsaCoefficientOffset, kRsaPrimeSize);
    OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_D, d.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_FACTOR1, p.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_FACTOR2, q.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_EXPONENT1, dp.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_EXPONENT2, dq.get());
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_COEFFICIENT1, qInv.get());
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* pkey = nullptr;
    bool ok = EVP_PKEY_fromdata_init(ctx) == 1 &&
              EVP_PKEY_fromdata(ctx, &pkey, EVP_PKEY_KEYPAIR, params) == 1;
    if (ok) {
        EVP_PKEY_CTX* check = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr);
        ok = EVP_PKEY_private_check(check) == 1 && EVP_PKEY_pairwise_check(check) == 1 &&
             EVP_PKEY_public_check(check) == 1;
        EVP_PKEY_CTX_free(check);
    }
    EVP_PKEY_free(pkey);
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    return ok;
}

TEST(RsaKeyPair, RefusesModulusSizesOutside255To1024) {
    RandomState state = SeededState("limits");
    RsaPublicKey pub;
    RsaPrivateKey priv;
    pub.fill(0x5C);
    priv.fill(0x5C);
    for (uint32_t bits : {0u, 254u, 1025u, 4096u}) {
        const RandomState before = state;
        EXPECT_EQ(RsaGenerateKeyPair(pub, priv, {bits, 1}, state), kErrModulusBits) << bits;
        EXPECT_EQ(state.counter, before.counter) << "nothing drawn";
    }
    RsaPublicKey pubBefore;
    RsaPrivateKey privBefore;
    pubBefore.fill(0x5C);
    privBefore.fill(0x5C);
    EXPECT_EQ(pub, pubBefore);
    EXPECT_EQ(priv, privBefore);
}

TEST(RsaKeyPair, UnseededStateLeavesRecordsUntouched) {
    RandomState state;
    RandomInit(state);
    RsaPublicKey pub;
    RsaPrivateKey priv;
    pub.fill(0x33);
    priv.fill(0x44);
    EXPECT_EQ(RsaGenerateKeyPair(pub, priv, {256, 1}, state), kErrNotSeeded);
    for (uint8_t b : pub) {
        ASSERT_EQ(b, 0x33);
    }
    for (uint8_t b : priv) {
        ASSERT_EQ(b, 0x44);
    }
}

// Every size boundary and both exponents, checked field by field and by OpenSSL.
TEST(RsaKeyPair, KeysPassOpenSslChecks) {
    BnCtx ctx(BN_CTX_new());
    for (uint32_t bits : {255u, 256u, 257u, 512u, 1000u, 1024u}) {
        for (uint32_t use65537 : {1u, 0u}) {
            const std::string what =
                std::to_string(bits) + (use65537 ? " bits, e=65537" : " bits, e=3");
            RandomState state = SeededState(what);
            RsaPublicKey pub{};
            RsaPrivateKey priv{};
            ASSERT_EQ(RsaGenerateKeyPair(pub, priv, {bits, use65537}, state), kCryptoOk) << what;

            EXPECT_EQ((pub[0] << 8) | pub[1], static_cast<int>(bits)) << what;
            EXPECT_TRUE(std::equal(pub.begin(), pub.end(), priv.begin())) << what;
            const uint8_t* e = pub.data() + kRsaPublicExponentOffset;
            if (use65537) {
                EXPECT_EQ(LeadingZeros(e, kRsaNumberSize), kRsaNumberSize - 3);
                EXPECT_EQ(e[125], 0x01);
                EXPECT_EQ(e[126], 0x00);
                EXPECT_EQ(e[127], 0x01);
            } else {
                EXPECT_EQ(LeadingZeros(e, kRsaNumberSize), kRsaNumberSize - 1);
                EXPECT_EQ(e[127], 0x03);
            }

            Bn n = Field(pub.data(), kRsaModulusOffset, kRsaNumberSize);
            Bn p = Field(priv.data(), kRsaPrime1Offset, kRsaPrimeSize);
            Bn q = Field(priv.data(), kRsaPrime2Offset, kRsaPrimeSize);
            EXPECT_EQ(BN_num_bits(n.get()), static_cast<int>(bits)) << what;
            EXPECT_EQ(BN_num_bits(p.get()), static_cast<int>((bits + 1) / 2)) << what;
            EXPECT_GT(BN_cmp(p.get(), q.get()), 0) << "prime1 is the larger, " << what;
            EXPECT_EQ(BN_check_prime(p.get(), ctx.get(), nullptr), 1) << what;
            EXPECT_EQ(BN_check_prime(q.get(), ctx.get(), nullptr), 1) << what;
            if (!use65537) {
                EXPECT_EQ(BN_mod_word(p.get(), 3), 2u) << "p = 1 mod 3 has no inverse of 3";
                EXPECT_EQ(BN_mod_word(q.get(), 3), 2u);
            }

            // The CRT relations, spelled out.
            Bn pm1(BN_dup(p.get()));
            Bn qm1(BN_dup(q.get()));
            BN_sub_word(pm1.get(), 1);
            BN_sub_word(qm1.get(), 1);
            Bn eBn = Field(pub.data(), kRsaPublicExponentOffset, kRsaNumberSize);
            Bn dp = Field(priv.data(), kRsaExponent1Offset, kRsaPrimeSize);
            Bn dq = Field(priv.data(), kRsaExponent2Offset, kRsaPrimeSize);
            Bn qInv = Field(priv.data(), kRsaCoefficientOffset, kRsaPrimeSize);
            Bn t(BN_new());
            BN_mod_mul(t.get(), eBn.get(), dp.get(), pm1.get(), ctx.get());
            EXPECT_TRUE(BN_is_one(t.get())) << "e * exponent1 = 1 mod p-1, " << what;
            BN_mod_mul(t.get(), eBn.get(), dq.get(), qm1.get(), ctx.get());
            EXPECT_TRUE(BN_is_one(t.get())) << "e * exponent2 = 1 mod q-1, " << what;
            BN_mod_mul(t.get(), qInv.get(), q.get(), p.get(), ctx.get());
            EXPECT_TRUE(BN_is_one(t.get())) << "coefficient * q = 1 mod p, " << what;

            EXPECT_TRUE(OpenSslAcceptsKey(priv)) << what;
            if (bits == 512) {
                RsaPrivateKey broken = priv;
                broken[kRsaCoefficientOffset + kRsaPrimeSize - 1] ^= 0x04;
                EXPECT_FALSE(OpenSslAcceptsKey(broken)) << "the check notices a bad coefficient";
            }
        }
    }
}

TEST(RsaKeyPair, LayoutOf256BitKey) {
    RandomState state = SeededState("layout");
    const RandomState start = state;
    RsaPublicKey pub{};
    RsaPrivateKey priv{};
    ASSERT_EQ(RsaGenerateKeyPair(pub, priv, {256, 1}, state), kCryptoOk);
    EXPECT_EQ(pub[0], 0x01);
    EXPECT_EQ(pub[1], 0x00);
    EXPECT_EQ(LeadingZeros(pub.data() + kRsaModulusOffset, kRsaNumberSize), 96u);
    EXPECT_GE(pub[kRsaModulusOffset + 96], 0x80);
    EXPECT_EQ(LeadingZeros(priv.data() + kRsaPrime1Offset, kRsaPrimeSize), 48u);
    EXPECT_EQ(LeadingZeros(priv.data() + kRsaPrime2Offset, kRsaPrimeSize), 48u);
    // Both primes in [3 * 2^126, 2^128 - 1]: the top two bits of each are set.
    EXPECT_GE(priv[kRsaPrime1Offset + 48], 0xC0);
    EXPECT_GE(priv[kRsaPrime2Offset + 48], 0xC0);

    // Two searches of 16 random bytes each (this seed needs no retry for e = 65537).
    RandomState expected = start;
    uint8_t sink[32];
    RandomGenerate(sink, sizeof sink, expected);
    EXPECT_EQ(state.counter, expected.counter);
    EXPECT_EQ(state.outLeft, expected.outLeft);

    // The same seed gives the same pair.
    RandomState again = start;
    RsaPublicKey pub2{};
    RsaPrivateKey priv2{};
    ASSERT_EQ(RsaGenerateKeyPair(pub2, priv2, {256, 1}, again), kCryptoOk);
    EXPECT_EQ(pub2, pub);
    EXPECT_EQ(priv2, priv);
}

}  // namespace
}  // namespace tarvu
