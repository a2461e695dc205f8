#include "crypto/montgomery.h"

#include <array>
#include <cstring>
#include <utility>

namespace tarvu {
namespace {

__extension__ typedef unsigned __int128 Wide;

inline uint64_t Lo(Wide v) {
    return static_cast<uint64_t>(v);
}
inline uint64_t Hi(Wide v) {
    return static_cast<uint64_t>(v >> 64);
}

void ToLimbs(uint64_t* r, const BnDigit* x, int digits, int limbs) {
    for (int j = 0; j < limbs; ++j) {
        const uint64_t low = 2 * j < digits ? x[2 * j] : 0;
        const uint64_t high = 2 * j + 1 < digits ? x[2 * j + 1] : 0;
        r[j] = low | (high << 32);
    }
}

// r = t - m when t (with its carry limb) is at least m; t < 2m on entry.
template <int N>
inline void FinalSubtract(uint64_t* r, const uint64_t* t, uint64_t carry, const uint64_t* m) {
    uint64_t diff[N];
    uint64_t borrow = 0;
    for (int j = 0; j < N; ++j) {
        const Wide d = static_cast<Wide>(t[j]) - m[j] - borrow;
        diff[j] = Lo(d);
        borrow = Hi(d) & 1;
    }
    // Keep the difference unless it borrowed past the carry limb.
    const bool keepT = borrow > carry;
    for (int j = 0; j < N; ++j) {
        r[j] = keepT ? t[j] : diff[j];
    }
}

// Coarsely integrated operand scanning, fully unrolled for a fixed limb count.
template <int N>
void MontMulN(uint64_t* r, const uint64_t* a, const uint64_t* b, const uint64_t* m, uint64_t mInv) {
    uint64_t t[N + 2] = {};
    for (int i = 0; i < N; ++i) {
        uint64_t carry = 0;
        const uint64_t bi = b[i];
        for (int j = 0; j < N; ++j) {
            const Wide s = static_cast<Wide>(a[j]) * bi + t[j] + carry;
            t[j] = Lo(s);
            carry = Hi(s);
        }
        Wide s = static_cast<Wide>(t[N]) + carry;
        t[N] = Lo(s);
        t[N + 1] = Hi(s);

        const uint64_t q = t[0] * mInv;
        s = static_cast<Wide>(q) * m[0] + t[0];
        carry = Hi(s);
        for (int j = 1; j < N; ++j) {
            s = static_cast<Wide>(q) * m[j] + t[j] + carry;
            t[j - 1] = Lo(s);
            carry = Hi(s);
        }
        s = static_cast<Wide>(t[N]) + carry;
        t[N - 1] = Lo(s);
        t[N] = t[N + 1] + Hi(s);
    }
    FinalSubtract<N>(r, t, t[N], m);
}

using MontMulFn = void (*)(uint64_t*, const uint64_t*, const uint64_t*, const uint64_t*, uint64_t);

template <int... N>
constexpr auto MakeTable(std::integer_sequence<int, N...>) {
    return std::array<MontMulFn, sizeof...(N)>{&MontMulN<N + 1>...};
}

constexpr auto kMontMulTable = MakeTable(std::make_integer_sequence<int, kMontMaxLimbs>{});

}  // namespace

bool MontSetup(MontgomeryModulus& mod, const BnDigit* m, int digits) {
    const int significant = BnSignificantDigits(m, digits);
    if (significant == 0 || (m[0] & 1) == 0 || (significant == 1 && m[0] == 1)) {
        return false;
    }
    mod.digits = digits;
    BnCopy(mod.m32, m, digits);
    mod.limbs = (significant + 1) / 2;
    ToLimbs(mod.m, m, digits, mod.limbs);
    // Newton's iteration doubles the correct low bits of m^-1 each step (m*m = 1 mod 8).
    uint64_t inv = mod.m[0];
    for (int i = 0; i < 5; ++i) {
        inv *= 2 - mod.m[0] * inv;
    }
    mod.mInv = 0 - inv;
    return true;
}

void MontMul(uint64_t* r, const uint64_t* a, const uint64_t* b, const MontgomeryModulus& mod) {
    kMontMulTable[mod.limbs - 1](r, a, b, mod.m, mod.mInv);
}

void MontDouble(uint64_t* r, const MontgomeryModulus& mod) {
    uint64_t carry = 0;
    uint64_t t[kMontMaxLimbs];
    for (int j = 0; j < mod.limbs; ++j) {
        t[j] = (r[j] << 1) | carry;
        carry = r[j] >> 63;
    }
    uint64_t diff[kMontMaxLimbs];
    uint64_t borrow = 0;
    for (int j = 0; j < mod.limbs; ++j) {
        const Wide d = static_cast<Wide>(t[j]) - mod.m[j] - borrow;
        diff[j] = Lo(d);
        borrow = Hi(d) & 1;
    }
    const bool keepT = borrow > carry;
    for (int j = 0; j < mod.limbs; ++j) {
        r[j] = keepT ? t[j] : diff[j];
    }
}

void MontEnter(uint64_t* r, const BnDigit* x, int xDigits, unsigned shift,
               const MontgomeryModulus& mod) {
    // x * 2^(64 * limbs + shift) as a plain number, then one division.
    BnDigit wide[kBnMaxProductDigits + 4] = {};
    const int low = 2 * mod.limbs + static_cast<int>(shift / kBnDigitBits);
    const int xn = BnSignificantDigits(x, xDigits);
    wide[low + xn] = BnShiftLeft(wide + low, x, shift % kBnDigitBits, xn);
    BnDigit rem[kBnMaxDigits];
    BnDivMod(nullptr, rem, wide, low + xn + 1, mod.m32, mod.digits);
    ToLimbs(r, rem, mod.digits, mod.limbs);
}

void MontLeave(BnDigit* x, const uint64_t* r, const MontgomeryModulus& mod) {
    uint64_t one[kMontMaxLimbs] = {1};
    uint64_t plain[kMontMaxLimbs];
    MontMul(plain, r, one, mod);
    for (int i = 0; i < mod.digits; ++i) {
        x[i] = i / 2 < mod.limbs ? static_cast<BnDigit>(plain[i / 2] >> (32 * (i % 2))) : 0;
    }
}

bool MontFermatBase2(const MontgomeryModulus& mod) {
    // The exponent is the modulus itself. Its top six bits are folded into the starting
    // value 2^top * R mod m; each further bit is a squaring and, for a one, a doubling.
    const unsigned bits = BnSignificantBits(mod.m32, mod.digits);
    const unsigned head = bits < 6 ? bits : 6;
    unsigned top = 0;
    for (unsigned k = 0; k < head; ++k) {
        const unsigned bit = bits - 1 - k;
        top = (top << 1) | ((mod.m32[bit / 32] >> (bit % 32)) & 1);
    }
    const BnDigit one = 1;
    uint64_t x[kMontMaxLimbs];
    MontEnter(x, &one, 1, top, mod);
    for (unsigned bit = bits - head; bit-- > 0;) {
        MontMul(x, x, x, mod);
        if ((mod.m32[bit / 32] >> (bit % 32)) & 1) {
            MontDouble(x, mod);
        }
    }
    BnDigit result[kBnMaxDigits];
    MontLeave(result, x, mod);
    BnDigit two[kBnMaxDigits] = {2};
    return BnCompare(result, two, mod.digits) == 0;
}

}  // namespace tarvu
