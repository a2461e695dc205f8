#include "crypto/big_num.h"

#include "crypto/montgomery.h"

#include <algorithm>
#include <cstring>

namespace tarvu {
namespace {

// Dividends up to a full product plus the limb padding Montgomery conversion adds.
constexpr int kDivMaxDigits = kBnMaxProductDigits + 4;

void DivModWide(BnDigit* quotient, BnDigit* remainder, const BnDigit* b, int bDigits,
                const BnDigit* c, int cDigits) {
    if (quotient != nullptr) {
        BnZero(quotient, bDigits);
    }
    const int n = BnSignificantDigits(c, cDigits);
    const int bn = BnSignificantDigits(b, bDigits);
    if (n == 0) {
        if (remainder != nullptr) {
            BnZero(remainder, cDigits);
        }
        return;
    }
    if (bn < n) {
        if (remainder != nullptr) {
            BnZero(remainder, cDigits);
            BnCopy(remainder, b, bn);
        }
        return;
    }
    if (n == 1) {
        uint64_t rem = 0;
        for (int i = bn - 1; i >= 0; --i) {
            const uint64_t num = (rem << 32) | b[i];
            if (quotient != nullptr) {
                quotient[i] = static_cast<BnDigit>(num / c[0]);
            }
            rem = num % c[0];
        }
        if (remainder != nullptr) {
            BnZero(remainder, cDigits);
            remainder[0] = static_cast<BnDigit>(rem);
        }
        return;
    }

    // Knuth's algorithm D: normalise so that the divisor's top digit has its top bit set,
    // estimate each quotient digit from the top two remainder digits, correct at most twice.
    const unsigned shift = kBnDigitBits - BnDigitBits(c[n - 1]);
    BnDigit v[kBnMaxDigits];
    BnDigit u[kDivMaxDigits + 1];
    BnShiftLeft(v, c, shift, n);
    u[bn] = BnShiftLeft(u, b, shift, bn);
    const uint64_t vTop = v[n - 1];
    const uint64_t vNext = v[n - 2];
    for (int j = bn - n; j >= 0; --j) {
        const uint64_t num = (static_cast<uint64_t>(u[j + n]) << 32) | u[j + n - 1];
        uint64_t qHat = num / vTop;
        uint64_t rHat = num % vTop;
        while (qHat > 0xFFFFFFFFu || qHat * vNext > ((rHat << 32) | u[j + n - 2])) {
            --qHat;
            rHat += vTop;
            if (rHat > 0xFFFFFFFFu) {
                break;
            }
        }
        const BnDigit borrow = BnSubMulDigit(u + j, u + j, static_cast<BnDigit>(qHat), v, n);
        const BnDigit top = u[j + n];
        u[j + n] = top - borrow;
        if (top < borrow) {
            --qHat;
            u[j + n] += BnAdd(u + j, u + j, v, n);
        }
        if (quotient != nullptr) {
            quotient[j] = static_cast<BnDigit>(qHat);
        }
    }
    if (remainder != nullptr) {
        BnZero(remainder, cDigits);
        BnShiftRight(remainder, u, shift, n);
    }
}

void ModExpPlain(BnDigit* a, const BnDigit* base, const BnDigit* c, int cDigits, const BnDigit* m,
                 int digits) {
    // Left to right with a 2-bit window over b, b^2, b^3.
    BnDigit powers[4][kBnMaxDigits];
    BnZero(powers[1], digits);
    BnMod(powers[1], base, digits, m, digits);
    BnModMul(powers[2], powers[1], powers[1], m, digits);
    BnModMul(powers[3], powers[2], powers[1], m, digits);

    BnDigit result[kBnMaxDigits];
    BnZero(result, digits);
    result[0] = 1;
    BnMod(result, result, digits, m, digits);  // 1 mod 1 is 0

    const int top = BnSignificantDigits(c, cDigits);
    bool started = false;
    for (int i = top - 1; i >= 0; --i) {
        for (int bit = 30; bit >= 0; bit -= 2) {
            const unsigned pair = (c[i] >> bit) & 3;
            if (!started && pair == 0) {
                continue;
            }
            if (started) {
                BnModMul(result, result, result, m, digits);
                BnModMul(result, result, result, m, digits);
            }
            started = true;
            if (pair != 0) {
                BnModMul(result, result, powers[pair], m, digits);
            }
        }
    }
    BnCopy(a, result, digits);
}

void ModExpMontgomery(BnDigit* a, const BnDigit* base, const BnDigit* c, int cDigits,
                      const MontgomeryModulus& mod) {
    const int digits = mod.digits;
    const int limbs = mod.limbs;
    uint64_t powers[4][kMontMaxLimbs];
    BnDigit reduced[kBnMaxDigits];
    BnMod(reduced, base, digits, mod.m32, digits);
    MontEnter(powers[1], reduced, digits, 0, mod);
    MontMul(powers[2], powers[1], powers[1], mod);
    MontMul(powers[3], powers[2], powers[1], mod);

    uint64_t result[kMontMaxLimbs];
    BnDigit one[kBnMaxDigits];
    BnZero(one, digits);
    one[0] = 1;
    MontEnter(result, one, digits, 0, mod);

    const int top = BnSignificantDigits(c, cDigits);
    bool started = false;
    for (int i = top - 1; i >= 0; --i) {
        for (int bit = 30; bit >= 0; bit -= 2) {
            const unsigned pair = (c[i] >> bit) & 3;
            if (!started) {
                if (pair == 0) {
                    continue;
                }
                std::memcpy(result, powers[pair], sizeof(uint64_t) * limbs);
                started = true;
                continue;
            }
            MontMul(result, result, result, mod);
            MontMul(result, result, result, mod);
            if (pair != 0) {
                MontMul(result, result, powers[pair], mod);
            }
        }
    }
    MontLeave(a, result, mod);
}

}  // namespace

void BnDecode(BnDigit* a, int digits, const uint8_t* bytes, size_t length) {
    for (int i = 0; i < digits; ++i) {
        BnDigit d = 0;
        for (unsigned k = 0; k < 4; ++k) {
            const size_t fromEnd = 4 * static_cast<size_t>(i) + k;
            if (fromEnd < length) {
                d |= static_cast<BnDigit>(bytes[length - 1 - fromEnd]) << (8 * k);
            }
        }
        a[i] = d;
    }
}

void BnEncode(uint8_t* bytes, size_t length, const BnDigit* a, int digits) {
    for (size_t fromEnd = 0; fromEnd < length; ++fromEnd) {
        const size_t digit = fromEnd / 4;
        BnDigit value = 0;
        if (digit < static_cast<size_t>(digits)) {
            value = a[digit] >> (8 * (fromEnd % 4));
        }
        bytes[length - 1 - fromEnd] = static_cast<uint8_t>(value);
    }
}

void BnZero(BnDigit* a, int digits) {
    for (int i = 0; i < digits; ++i) {
        a[i] = 0;
    }
}

void BnPow2(BnDigit* a, unsigned k, int digits) {
    BnZero(a, digits);
    if (k / kBnDigitBits < static_cast<unsigned>(digits)) {
        a[k / kBnDigitBits] = BnDigit{1} << (k % kBnDigitBits);
    }
}

void BnCopy(BnDigit* a, const BnDigit* b, int digits) {
    if (a != b && digits > 0) {
        std::memmove(a, b, sizeof(BnDigit) * digits);
    }
}

BnDigit BnAdd(BnDigit* a, const BnDigit* b, const BnDigit* c, int digits) {
    uint64_t carry = 0;
    for (int i = 0; i < digits; ++i) {
        carry += static_cast<uint64_t>(b[i]) + c[i];
        a[i] = static_cast<BnDigit>(carry);
        carry >>= 32;
    }
    return static_cast<BnDigit>(carry);
}

BnDigit BnSub(BnDigit* a, const BnDigit* b, const BnDigit* c, int digits) {
    BnDigit borrow = 0;
    for (int i = 0; i < digits; ++i) {
        const uint64_t diff = static_cast<uint64_t>(b[i]) - c[i] - borrow;
        a[i] = static_cast<BnDigit>(diff);
        borrow = static_cast<BnDigit>((diff >> 32) & 1);
    }
    return borrow;
}

void BnMul(BnDigit* a, const BnDigit* b, const BnDigit* c, int digits) {
    BnZero(a, 2 * digits);
    for (int i = 0; i < digits; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < digits; ++j) {
            carry += BnDigitMul(b[j], c[i]) + a[i + j];
            a[i + j] = static_cast<BnDigit>(carry);
            carry >>= 32;
        }
        a[i + digits] = static_cast<BnDigit>(carry);
    }
}

BnDigit BnShiftLeft(BnDigit* a, const BnDigit* b, unsigned bits, int digits) {
    if (bits >= static_cast<unsigned>(kBnDigitBits)) {
        return 0;
    }
    if (bits == 0) {
        BnCopy(a, b, digits);
        return 0;
    }
    BnDigit carry = 0;
    for (int i = 0; i < digits; ++i) {
        const BnDigit d = b[i];
        a[i] = (d << bits) | carry;
        carry = d >> (kBnDigitBits - bits);
    }
    return carry;
}

BnDigit BnShiftRight(BnDigit* a, const BnDigit* b, unsigned bits, int digits) {
    if (bits >= static_cast<unsigned>(kBnDigitBits)) {
        return 0;
    }
    if (bits == 0) {
        BnCopy(a, b, digits);
        return 0;
    }
    BnDigit carry = 0;
    for (int i = digits - 1; i >= 0; --i) {
        const BnDigit d = b[i];
        a[i] = (d >> bits) | carry;
        carry = d << (kBnDigitBits - bits);
    }
    return carry >> (kBnDigitBits - bits);
}

void BnDivMod(BnDigit* quotient, BnDigit* remainder, const BnDigit* b, int bDigits,
              const BnDigit* c, int cDigits) {
    DivModWide(quotient, remainder, b, std::min(bDigits, kDivMaxDigits), c,
               std::min(cDigits, kBnMaxDigits));
}

void BnMod(BnDigit* a, const BnDigit* b, int bDigits, const BnDigit* c, int cDigits) {
    BnDigit r[kBnMaxDigits];
    BnDivMod(nullptr, r, b, bDigits, c, cDigits);
    BnCopy(a, r, cDigits);
}

void BnModMul(BnDigit* a, const BnDigit* b, const BnDigit* c, const BnDigit* m, int digits) {
    BnDigit product[kBnMaxProductDigits];
    BnMul(product, b, c, digits);
    BnMod(a, product, 2 * digits, m, digits);
}

void BnModExp(BnDigit* a, const BnDigit* b, const BnDigit* c, int cDigits, const BnDigit* m,
              int digits) {
    MontgomeryModulus mod;
    if (MontSetup(mod, m, digits)) {
        ModExpMontgomery(a, b, c, cDigits, mod);
    } else {
        ModExpPlain(a, b, c, cDigits, m, digits);
    }
}

bool BnModInverse(BnDigit* a, const BnDigit* b, const BnDigit* m, int digits) {
    // Cofactors are kept as magnitudes; their signs alternate from step to step.
    BnDigit u1[kBnMaxDigits];
    BnDigit v1[kBnMaxDigits];
    BnDigit u3[kBnMaxDigits];
    BnDigit v3[kBnMaxDigits];
    BnDigit q[kBnMaxDigits];
    BnDigit t3[kBnMaxDigits];
    BnDigit t1[kBnMaxProductDigits];
    // Cofactors never exceed m, so `digits` digits hold them.
    const int w = digits;
    BnZero(u1, w);
    u1[0] = 1;
    BnZero(v1, w);
    BnMod(u3, b, digits, m, digits);
    BnCopy(v3, m, digits);
    bool negative = false;
    while (!BnIsZero(v3, digits)) {
        BnDivMod(q, t3, u3, digits, v3, digits);
        BnMul(t1, q, v1, w);
        BnAdd(t1, t1, u1, w);
        BnCopy(u1, v1, w);
        BnCopy(v1, t1, w);
        BnCopy(u3, v3, digits);
        BnCopy(v3, t3, digits);
        negative = !negative;
    }
    BnDigit one[kBnMaxDigits];
    BnZero(one, digits);
    one[0] = 1;
    if (BnCompare(u3, one, digits) != 0) {
        BnZero(a, digits);
        return false;
    }
    if (negative) {
        BnSub(a, m, u1, digits);
    } else {
        BnCopy(a, u1, digits);
    }
    return true;
}

void BnGcd(BnDigit* a, const BnDigit* b, const BnDigit* c, int digits) {
    BnDigit x[kBnMaxDigits];
    BnDigit y[kBnMaxDigits];
    BnDigit r[kBnMaxDigits];
    BnCopy(x, b, digits);
    BnCopy(y, c, digits);
    while (!BnIsZero(y, digits)) {
        BnMod(r, x, digits, y, digits);
        BnCopy(x, y, digits);
        BnCopy(y, r, digits);
    }
    BnCopy(a, x, digits);
}

int BnCompare(const BnDigit* b, const BnDigit* c, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        if (b[i] != c[i]) {
            return b[i] > c[i] ? 1 : -1;
        }
    }
    return 0;
}

bool BnIsZero(const BnDigit* a, int digits) {
    return BnSignificantDigits(a, digits) == 0;
}

int BnSignificantDigits(const BnDigit* a, int digits) {
    while (digits > 0 && a[digits - 1] == 0) {
        --digits;
    }
    return digits;
}

unsigned BnSignificantBits(const BnDigit* a, int digits) {
    const int n = BnSignificantDigits(a, digits);
    return n == 0 ? 0 : static_cast<unsigned>(n - 1) * kBnDigitBits + BnDigitBits(a[n - 1]);
}

BnDigit BnSubMulDigit(BnDigit* a, const BnDigit* b, BnDigit c, const BnDigit* d, int digits) {
    uint64_t carry = 0;  // product carry plus borrow, at most one digit
    for (int i = 0; i < digits; ++i) {
        const uint64_t product = BnDigitMul(c, d[i]) + carry;
        const BnDigit low = static_cast<BnDigit>(product);
        const BnDigit bi = b[i];
        a[i] = bi - low;
        carry = (product >> 32) + (bi < low ? 1 : 0);
    }
    return static_cast<BnDigit>(carry);
}

unsigned BnDigitBits(BnDigit d) {
    unsigned bits = 0;
    for (; d != 0; d >>= 1) {
        ++bits;
    }
    return bits;
}

BnDigit BnModDigit(const BnDigit* b, int digits, BnDigit d) {
    uint64_t rem = 0;
    for (int i = digits - 1; i >= 0; --i) {
        rem = ((rem << 32) | b[i]) % d;
    }
    return static_cast<BnDigit>(rem);
}

}  // namespace tarvu
