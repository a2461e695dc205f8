#include "crypto/md5.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

namespace tarvu {
namespace {

std::string HexOf(const std::string& s) {
    const Md5Digest d = Md5(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    std::string hex;
    for (uint8_t b : d) {
        hex += "0123456789abcdef"[b >> 4];
        hex += "0123456789abcdef"[b & 15];
    }
    return hex;
}

// The test suite of RFC 1321, appendix A.5.
TEST(Md5, Rfc1321Suite) {
    EXPECT_EQ(HexOf(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(HexOf("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(HexOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(HexOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(HexOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(HexOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(HexOf("1234567890123456789012345678901234567890"
                    "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Every length across the padding boundaries, whole and fed in uneven pieces.
TEST(Md5, MatchesOpenSslForAllLengthsAndSplits) {
    std::mt19937 rng(7);
    for (size_t length = 0; length <= 300; ++length) {
        std::vector<uint8_t> data(length);
        for (auto& b : data) {
            b = static_cast<uint8_t>(rng());
        }
        Md5Digest expected{};
        unsigned int n = 0;
        EVP_Digest(data.data(), data.size(), expected.data(), &n, EVP_md5(), nullptr);
        EXPECT_EQ(Md5(data.data(), data.size()), expected) << "length " << length;

        Md5Context ctx;
        Md5Init(ctx);
        for (size_t pos = 0; pos < length;) {
            const size_t piece = std::min<size_t>(length - pos, 1 + rng() % 70);
            Md5Update(ctx, data.data() + pos, piece);
            pos += piece;
        }
        Md5Digest pieced;
        Md5Final(ctx, pieced);
        EXPECT_EQ(pieced, expected) << "pieced, length " << length;
    }
}

}  // namespace
}  // namespace tarvu
