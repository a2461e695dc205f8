#include "crypto/md5.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

namespace tarvu {
namespace {

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
