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
using testing::BytesToBn;

RandomState Seeded(const std::string& tag) {
    RandomState s;
    RandomInit(s);
    std::vector<uint8_t> seed(256, 0);
    std::copy(tag.begin(), tag.end(), seed.begin());
    RandomUpdate(s, seed.data(), seed.size());
    return s;
}

Bn Field(const RsaPrivateKey& k, size_t offset, size_t size) {
    return BytesToBn(k.data() + offset, size);
}

// OpenSSL's RSA key checks: p and q prime, n = pq, d, and the three CRT values.
bool OpenSslAcceptsKey(const RsaPrivateKey& k) {
    const std::pair<const char*, Bn> fields[] = {
        {OSSL_PKEY_PARAM_RSA_N, Field(k, kRsaModulusOffset, kRsaNumberSize)},
        {OSSL_PKEY_PARAM_RSA_E, Field(k, kRsaPublicExponentOffset, kRsaNumberSize)},
        {OSSL_PKEY_PARAM_RSA_D, Field(k, kRsaPrivateExponentOffset, kRsaNumberSize)},
        {OSSL_PKEY_PARAM_RSA_FACTOR1, Field(k, kRsaPrime1Offset, kRsaPrimeSize)},
        {OSSL_PKEY_PARAM_RSA_FACTOR2, Field(k, kRsaPrime2Offset, kRsaPrimeSize)},
        {OSSL_PKEY_PARAM_RSA_EXPONENT1, Field(k, kRsaExponent1Offset, kRsaPrimeSize)},
        {OSSL_PKEY_PARAM_RSA_EXPONENT2, Field(k, kRsaExponent2Offset, kRsaPrimeSize)},
        {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, Field(k, kRsaCoefficientOffset, kRsaPrimeSize)},
    };
    OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
    for (const auto& [name, value] : fields) {
        OSSL_PARAM_BLD_push_BN(bld, name, value.get());
    }
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* pkey = nullptr;
    bool ok = EVP_PKEY_fromdata_init(ctx) == 1 &&
              EVP_PKEY_fromdata(ctx, &pkey, EVP_PKEY_KEYPAIR, params) == 1;
    if (ok) {
        EVP_PKEY_CTX* check = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr);
        ok = EVP_PKEY_check(check) == 1 && EVP_PKEY_private_check(check) == 1;
        EVP_PKEY_CTX_free(check);
    }
    EVP_PKEY_free(pkey);
    EVP_PKEY_CTX_free(ctx);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    return ok;
}

TEST(RsaKeyPair, ErrorsLeaveRecordsUntouched) {
    RsaPublicKey pub;
    RsaPrivateKey priv;
    pub.fill(0x5C);
    priv.fill(0x5C);
    const RsaPublicKey pubBefore = pub;
    const RsaPrivateKey privBefore = priv;
    RandomState state = Seeded("limits");
    const RandomState start = state;
    for (uint32_t bits : {0u, 254u, 1025u}) {
        EXPECT_EQ(RsaGenerateKeyPair(pub, priv, {bits, 1}, state), kErrModulusBits) << bits;
    }
    EXPECT_EQ(state.counter, start.counter) << "nothing drawn";
    RandomInit(state);
    EXPECT_EQ(RsaGenerateKeyPair(pub, priv, {256, 1}, state), kErrNotSeeded);
    EXPECT_EQ(pub, pubBefore);
    EXPECT_EQ(priv, privBefore);
}

// The size boundaries and both exponents, each key checked by OpenSSL.
TEST(RsaKeyPair, KeysPassOpenSslChecks) {
    for (uint32_t bits : {255u, 256u, 257u, 512u, 1024u}) {
        for (uint32_t use65537 : {1u, 0u}) {
            const std::string what = std::to_string(bits) + (use65537 ? ", e=65537" : ", e=3");
            RandomState state = Seeded(what);
            RsaPublicKey pub{};
            RsaPrivateKey priv{};
            ASSERT_EQ(RsaGenerateKeyPair(pub, priv, {bits, use65537}, state), kCryptoOk) << what;
            EXPECT_EQ((pub[0] << 8) | pub[1], static_cast<int>(bits)) << what;
            EXPECT_TRUE(std::equal(pub.begin(), pub.end(), priv.begin())) << what;
            EXPECT_EQ(BN_get_word(Field(priv, kRsaPublicExponentOffset, kRsaNumberSize).get()),
                      use65537 ? 65537u : 3u);
            Bn n = Field(priv, kRsaModulusOffset, kRsaNumberSize);
            Bn p = Field(priv, kRsaPrime1Offset, kRsaPrimeSize);
            Bn q = Field(priv, kRsaPrime2Offset, kRsaPrimeSize);
            EXPECT_EQ(BN_num_bits(n.get()), static_cast<int>(bits)) << what;
            EXPECT_EQ(BN_num_bits(p.get()), static_cast<int>((bits + 1) / 2)) << what;
            EXPECT_GT(BN_cmp(p.get(), q.get()), 0) << "prime1 is the larger, " << what;
            if (!use65537) {
                EXPECT_EQ(BN_mod_word(p.get(), 3), 2u) << "p = 1 mod 3 is rejected for e = 3";
                EXPECT_EQ(BN_mod_word(q.get(), 3), 2u);
            }
            EXPECT_TRUE(OpenSslAcceptsKey(priv)) << what;
            RsaPrivateKey broken = priv;
            broken[kRsaCoefficientOffset + kRsaPrimeSize - 1] ^= 0x04;
            EXPECT_FALSE(OpenSslAcceptsKey(broken)) << "the check notices a bad coefficient";
        }
    }
}

TEST(RsaKeyPair, LayoutAndDrawsOf256BitKey) {
    RandomState state = Seeded("layout");
    const RandomState start = state;
    RsaPublicKey pub{};
    RsaPrivateKey priv{};
    ASSERT_EQ(RsaGenerateKeyPair(pub, priv, {256, 1}, state), kCryptoOk);
    const auto zeros = [&](size_t offset) {
        return std::find_if(priv.begin() + offset, priv.end(), [](uint8_t b) { return b != 0; }) -
               (priv.begin() + offset);
    };
    EXPECT_EQ(zeros(kRsaModulusOffset), 96);
    EXPECT_EQ(zeros(kRsaPrime1Offset), 48);
    EXPECT_EQ(zeros(kRsaPrime2Offset), 48);
    EXPECT_GE(priv[kRsaPrime1Offset + 48], 0xC0) << "p >= 3 * 2^126";
    EXPECT_GE(priv[kRsaPrime2Offset + 48], 0xC0);

    // Two searches of 16 random bytes each (no retry for this seed), and the same seed
    // gives the same pair.
    RandomState expected = start;
    uint8_t sink[32];
    RandomGenerate(sink, sizeof sink, expected);
    EXPECT_EQ(state.counter, expected.counter);
    EXPECT_EQ(state.outLeft, expected.outLeft);
    RandomState again = start;
    RsaPublicKey pub2{};
    RsaPrivateKey priv2{};
    ASSERT_EQ(RsaGenerateKeyPair(pub2, priv2, {256, 1}, again), kCryptoOk);
    EXPECT_EQ(priv2, priv);
}

}  // namespace
}  // namespace tarvu
