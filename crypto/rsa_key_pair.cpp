#include "crypto/rsa_key_pair.h"

#include "crypto/big_num.h"
#include "crypto/crypto_status.h"
#include "crypto/prime_search.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>

namespace tarvu {
namespace {

// A prime of exactly `bits` bits with its top two bits set, for which gcd(p - 1, e) = 1.
int FindPrime(BnDigit* p, unsigned bits, const BnDigit* e, int digits, RandomState& random) {
    BnDigit lo[kBnMaxDigits];
    BnDigit hi[kBnMaxDigits];
    BnDigit one[kBnMaxDigits] = {1};
    BnDigit top[kBnMaxDigits];
    BnPow2(top, bits - 2, digits);
    BnShiftLeft(lo, top, 1, digits);
    BnAdd(lo, lo, top, digits);  // 3 * 2^(bits - 2)
    BnPow2(hi, bits, digits);    // 0 when bits fills the digits exactly; minus 1 wraps right
    BnSub(hi, hi, one, digits);
    BnDigit pMinus1[kBnMaxDigits];
    BnDigit g[kBnMaxDigits];
    for (;;) {
        const int status = GeneratePrime(p, lo, hi, 2, digits, random);
        if (status != kCryptoOk) {
            return status;
        }
        BnSub(pMinus1, p, one, digits);
        BnGcd(g, pMinus1, e, digits);
        if (BnCompare(g, one, digits) == 0) {
            return kCryptoOk;
        }
    }
}

}  // namespace

int RsaGenerateKeyPair(RsaPublicKey& publicKey, RsaPrivateKey& privateKey,
                       const RsaKeyRequest& request, RandomState& random) {
    const uint32_t modulusBits = request.modulusBits;
    if (modulusBits < kRsaMinModulusBits || modulusBits > kRsaMaxModulusBits) {
        return kErrModulusBits;
    }
    const int nDigits = static_cast<int>((modulusBits + 31) / 32);
    const unsigned pBits = (modulusBits + 1) / 2;
    const unsigned qBits = modulusBits - pBits;
    const int pDigits = (nDigits + 1) / 2;
    // Products of two pDigits numbers; nDigits <= wide.
    const int wide = 2 * pDigits;

    BnDigit e[kBnMaxDigits] = {request.useExponent65537 != 0 ? 65537u : 3u};
    BnDigit p[kBnMaxDigits] = {};
    BnDigit q[kBnMaxDigits] = {};
    int status = FindPrime(p, pBits, e, pDigits, random);
    if (status != kCryptoOk) {
        return status;
    }
    status = FindPrime(q, qBits, e, pDigits, random);
    if (status != kCryptoOk) {
        return status;
    }
    if (BnCompare(p, q, pDigits) < 0) {
        BnDigit t[kBnMaxDigits];
        BnCopy(t, p, pDigits);
        BnCopy(p, q, pDigits);
        BnCopy(q, t, pDigits);
    }

    BnDigit one[kBnMaxDigits] = {1};
    BnDigit n[kBnMaxProductDigits];
    BnMul(n, p, q, pDigits);
    BnDigit coefficient[kBnMaxDigits];
    BnModInverse(coefficient, q, p, pDigits);

    BnDigit pMinus1[kBnMaxDigits] = {};
    BnDigit qMinus1[kBnMaxDigits] = {};
    BnSub(pMinus1, p, one, pDigits);
    BnSub(qMinus1, q, one, pDigits);
    BnDigit phi[kBnMaxProductDigits];
    BnMul(phi, pMinus1, qMinus1, pDigits);
    BnDigit d[kBnMaxDigits] = {};
    BnModInverse(d, e, phi, wide);
    BnDigit exponent1[kBnMaxDigits];
    BnDigit exponent2[kBnMaxDigits];
    BnMod(exponent1, d, wide, pMinus1, pDigits);
    BnMod(exponent2, d, wide, qMinus1, pDigits);

    // Nothing is written before every number is known, so a failure leaves both records.
    RsaPublicKey pub{};
    StoreBe16(pub.data() + kRsaBitsOffset, static_cast<uint16_t>(modulusBits));
    BnEncode(pub.data() + kRsaModulusOffset, kRsaNumberSize, n, nDigits);
    BnEncode(pub.data() + kRsaPublicExponentOffset, kRsaNumberSize, e, 1);

    RsaPrivateKey priv{};
    std::copy(pub.begin(), pub.end(), priv.begin());
    BnEncode(priv.data() + kRsaPrivateExponentOffset, kRsaNumberSize, d, nDigits);
    BnEncode(priv.data() + kRsaPrime1Offset, kRsaPrimeSize, p, pDigits);
    BnEncode(priv.data() + kRsaPrime2Offset, kRsaPrimeSize, q, pDigits);
    BnEncode(priv.data() + kRsaExponent1Offset, kRsaPrimeSize, exponent1, pDigits);
    BnEncode(priv.data() + kRsaExponent2Offset, kRsaPrimeSize, exponent2, pDigits);
    BnEncode(priv.data() + kRsaCoefficientOffset, kRsaPrimeSize, coefficient, pDigits);
    publicKey = pub;
    privateKey = priv;
    return kCryptoOk;
}

}  // namespace tarvu
