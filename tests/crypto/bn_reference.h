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

struct CtxFree {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
using BnCtx = std::unique_ptr<BN_CTX, CtxFree>;

inline Bn ToBn(const BnDigit* a, int digits) {
    std::vector<uint8_t> bytes(4 * static_cast<size_t>(digits) + 1);
    BnEncode(bytes.data(), bytes.size(), a, digits);
    return Bn(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

inline Bn BytesToBn(const uint8_t* bytes, size_t n) {
    return Bn(BN_bin2bn(bytes, static_cast<int>(n), nullptr));
}

// Writes b into `digits` digits; false if it does not fit.
inline bool FromBn(BnDigit* a, int digits, const BIGNUM* b) {
    std::vector<uint8_t> bytes(4 * static_cast<size_t>(digits));
    if (BN_bn2binpad(b, bytes.data(), static_cast<int>(bytes.size())) < 0) {
        return false;
    }
    BnDecode(a, digits, bytes.data(), bytes.size());
    return true;
}

inline bool Equal(const BnDigit* a, int digits, const BIGNUM* b) {
    Bn ours = ToBn(a, digits);
    return BN_cmp(ours.get(), b) == 0;
}

// Random digits with a random number of significant bits, so that short and full-width
// values, and values with all-ones digits, all occur.
inline void RandomNumber(BnDigit* a, int digits, std::mt19937& rng) {
    const uint32_t kinds = rng() % 8;
    for (int i = 0; i < digits; ++i) {
        a[i] = kinds == 0 ? 0xFFFFFFFFu : static_cast<BnDigit>(rng());
    }
    const int keep = 1 + static_cast<int>(rng() % static_cast<uint32_t>(digits));
    for (int i = keep; i < digits; ++i) {
        a[i] = 0;
    }
    if (kinds == 1) {
        a[keep - 1] |= 0x80000000u;
    }
}

}  // namespace tarvu::testing
