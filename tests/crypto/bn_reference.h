#pragma once
// Conversions between our BigNums and OpenSSL's BIGNUM, which serves as the reference.

#include "crypto/big_num.h"

#include <openssl/bn.h>

#include <memory>
#include <random>
#include <vector>

namespace tarvu::testing {

struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

inline Bn BytesToBn(const uint8_t* bytes, size_t n) {
    return Bn(BN_bin2bn(bytes, static_cast<int>(n), nullptr));
}

inline Bn ToBn(const BnDigit* a, int digits) {
    std::vector<uint8_t> bytes(4 * static_cast<size_t>(digits));
    BnEncode(bytes.data(), bytes.size(), a, digits);
    return BytesToBn(bytes.data(), bytes.size());
}

inline void FromBn(BnDigit* a, int digits, const BIGNUM* b) {
    std::vector<uint8_t> bytes(4 * static_cast<size_t>(digits));
    BN_bn2binpad(b, bytes.data(), static_cast<int>(bytes.size()));
    BnDecode(a, digits, bytes.data(), bytes.size());
}

inline bool Equal(const BnDigit* a, int digits, const BIGNUM* b) {
    return BN_cmp(ToBn(a, digits).get(), b) == 0;
}

// Random digits with a random number of significant ones; one value in eight is all ones.
inline void RandomNumber(BnDigit* a, int digits, std::mt19937& rng) {
    const bool ones = rng() % 8 == 0;
    const int keep = 1 + static_cast<int>(rng() % static_cast<uint32_t>(digits));
    for (int i = 0; i < digits; ++i) {
        a[i] = i >= keep ? 0 : ones ? 0xFFFFFFFFu : static_cast<BnDigit>(rng());
    }
}

}  // namespace tarvu::testing
