// Fixed inputs with answers taken from a build whose results the reference libraries checked
// (the *_reference_test.cpp files), so that a build without those libraries (Windows, another
// compiler, another width of long) still proves the arithmetic gives the same bytes.

#include "crypto/big_num.h"
#include "crypto/crypto_status.h"
#include "crypto/md5.h"
#include "crypto/random_generator.h"
#include "crypto/rsa_key_pair.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvu {
namespace {

std::string Hex(const uint8_t* data, size_t n) {
    std::string hex;
    for (size_t i = 0; i < n; ++i) {
        hex += "0123456789abcdef"[data[i] >> 4];
        hex += "0123456789abcdef"[data[i] & 15];
    }
    return hex;
}

std::string Md5Hex(const uint8_t* data, size_t n) {
    const Md5Digest d = Md5(data, n);
    return Hex(d.data(), d.size());
}

RandomState Seeded(const std::string& tag) {
    RandomState s;
    RandomInit(s);
    std::vector<uint8_t> seed(256, 0);
    std::copy(tag.begin(), tag.end(), seed.begin());
    RandomUpdate(s, seed.data(), seed.size());
    return s;
}

TEST(KnownAnswers, RandomStream) {
    RandomState state = Seeded("stream");
    std::vector<uint8_t> out(1000);
    ASSERT_EQ(RandomGenerate(out.data(), out.size(), state), kCryptoOk);
    EXPECT_EQ(Hex(out.data(), 16), "5ae7c3a249f9e5b36fdc02d80caeee76");
    EXPECT_EQ(Md5Hex(out.data(), out.size()), "48b098e9df49dd8ab80b378cee6a929e");
}

// Modular exponentiation, inverse and division of 512-bit numbers drawn from the generator.
TEST(KnownAnswers, BigNumberArithmetic) {
    constexpr int kDigits = 16;
    RandomState state = Seeded("bignum");
    uint8_t bytes[3][4 * kDigits];
    for (auto& number : bytes) {
        ASSERT_EQ(RandomGenerate(number, sizeof number, state), kCryptoOk);
    }
    bytes[2][sizeof bytes[2] - 1] |= 1;  // an odd modulus
    BnDigit b[kDigits], c[kDigits], m[kDigits], r[kDigits], q[kDigits];
    BnDecode(b, kDigits, bytes[0], sizeof bytes[0]);
    BnDecode(c, kDigits, bytes[1], sizeof bytes[1]);
    BnDecode(m, kDigits, bytes[2], sizeof bytes[2]);
    std::vector<uint8_t> all;
    const auto keep = [&](const BnDigit* a) {
        uint8_t out[4 * kDigits];
        BnEncode(out, sizeof out, a, kDigits);
        all.insert(all.end(), out, out + sizeof out);
    };
    BnModExp(r, b, c, kDigits, m, kDigits);
    keep(r);
    if (BnModInverse(r, b, m, kDigits)) {
        keep(r);
    }
    BnDivMod(q, r, b, kDigits, m, kDigits);
    keep(q);
    keep(r);
    BnMul(r, b, c, kDigits / 2);
    keep(r);
    EXPECT_EQ(all.size(), 5u * 4 * kDigits);
    EXPECT_EQ(Md5Hex(all.data(), all.size()), "06db8a27c943031b700e50c13d1fbb43");
}

TEST(KnownAnswers, RsaKeyPairs) {
    struct Case {
        RsaKeyRequest request;
        const char* seed;
        const char* privateMd5;
    };
    const Case cases[] = {
        {{256, 1}, "known 256", "aadf7dac19df90d81edc71c5a9896614"},
        {{512, 0}, "known 512", "0f52bfc8c6b5419bdca0775b5932f812"},
    };
    for (const Case& k : cases) {
        RandomState state = Seeded(k.seed);
        RsaPublicKey pub{};
        RsaPrivateKey priv{};
        ASSERT_EQ(RsaGenerateKeyPair(pub, priv, k.request, state), kCryptoOk) << k.seed;
        EXPECT_EQ(Md5Hex(priv.data(), priv.size()), k.privateMd5) << k.seed;
        EXPECT_TRUE(std::equal(pub.begin(), pub.end(), priv.begin())) << k.seed;
    }
}

}  // namespace
}  // namespace tarvu
