#pragma once
// Montgomery arithmetic modulo an odd number, on 64-bit limbs with 128-bit intermediate
// products. Used by the modular exponentiation and the Fermat test; numbers enter and leave
// as 32-bit-digit BigNums.

#include "crypto/big_num.h"

#include <cstdint>

namespace tarvu {

constexpr int kMontMaxLimbs = (kBnMaxDigits + 1) / 2;

struct MontgomeryModulus {
    int digits = 0;  // 32-bit digits of the modulus as given
    BnDigit m32[kBnMaxDigits] = {};
    int limbs = 0;  // 64-bit limbs; R = 2^(64 * limbs)
    uint64_t m[kMontMaxLimbs] = {};
    uint64_t mInv = 0;  // -m^-1 mod 2^64
};

// False when m is even or 1: Montgomery reduction needs an odd modulus above 1.
bool MontSetup(MontgomeryModulus& mod, const BnDigit* m, int digits);
// r = a * b * R^-1 mod m for a, b < m; r may overlap a or b.
void MontMul(uint64_t* r, const uint64_t* a, const uint64_t* b, const MontgomeryModulus& mod);
// r = 2r mod m.
void MontDouble(uint64_t* r, const MontgomeryModulus& mod);
// r = x * 2^(64 * limbs + shift) mod m, for x of xDigits digits and shift below 64.
void MontEnter(uint64_t* r, const BnDigit* x, int xDigits, unsigned shift,
               const MontgomeryModulus& mod);
// x (mod.digits digits) = r * R^-1 mod m.
void MontLeave(BnDigit* x, const uint64_t* r, const MontgomeryModulus& mod);

// True if 2^a mod a = 2: the Fermat test to base 2 for an odd a above 1.
bool MontFermatBase2(const MontgomeryModulus& mod);

}  // namespace tarvu
