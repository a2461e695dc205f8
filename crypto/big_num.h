#pragma once
// Unsigned multi-precision integers as arrays of 32-bit digits, least significant digit
// first, with the digit count passed alongside. All working storage is fixed-size and on
// the stack: numbers have at most kBnMaxDigits digits, full products kBnMaxProductDigits.
// Unless said otherwise a result may overlap an operand.

#include <cstddef>
#include <cstdint>

namespace tarvu {

using BnDigit = uint32_t;

constexpr int kBnDigitBits = 32;
constexpr int kBnMaxDigits = 33;
constexpr int kBnMaxProductDigits = 2 * kBnMaxDigits;

// Big-endian bytes -> digits: digit i takes the four bytes ending 4i bytes before the end
// of the string; digits beyond the string are 0.
void BnDecode(BnDigit* a, int digits, const uint8_t* bytes, size_t length);
// Digits -> big-endian bytes, right-aligned with leading zero bytes; digits that do not fit
// are dropped.
void BnEncode(uint8_t* bytes, size_t length, const BnDigit* a, int digits);

void BnZero(BnDigit* a, int digits);
// a = 2^k; all digits 0 when k is beyond the digit count.
void BnPow2(BnDigit* a, unsigned k, int digits);
void BnCopy(BnDigit* a, const BnDigit* b, int digits);

// a = b + c; returns the carry out (0 or 1).
BnDigit BnAdd(BnDigit* a, const BnDigit* b, const BnDigit* c, int digits);
// a = b - c; returns the borrow out (0 or 1).
BnDigit BnSub(BnDigit* a, const BnDigit* b, const BnDigit* c, int digits);
// a (2 * digits digits) = b * c. `a` must not overlap b or c.
void BnMul(BnDigit* a, const BnDigit* b, const BnDigit* c, int digits);
// a = b << bits or b >> bits for bits 0..31; returns the bits shifted out. A count of 32 or
// more does nothing and returns 0.
BnDigit BnShiftLeft(BnDigit* a, const BnDigit* b, unsigned bits, int digits);
BnDigit BnShiftRight(BnDigit* a, const BnDigit* b, unsigned bits, int digits);

// Quotient (bDigits digits, may be null) and remainder (cDigits digits, may be null) of
// b / c, where b has up to kBnMaxProductDigits digits. A zero divisor gives quotient 0 and
// remainder 0. The outputs must not overlap the inputs.
void BnDivMod(BnDigit* quotient, BnDigit* remainder, const BnDigit* b, int bDigits,
              const BnDigit* c, int cDigits);
// a (cDigits digits) = b mod c.
void BnMod(BnDigit* a, const BnDigit* b, int bDigits, const BnDigit* c, int cDigits);
// a = (b * c) mod m, all of `digits` digits.
void BnModMul(BnDigit* a, const BnDigit* b, const BnDigit* c, const BnDigit* m, int digits);
// a = b^c mod m; b and m (and a) have `digits` digits, the exponent c has cDigits.
void BnModExp(BnDigit* a, const BnDigit* b, const BnDigit* c, int cDigits, const BnDigit* m,
              int digits);
// a = b^-1 mod m by the extended Euclidean algorithm. Returns false (a = 0) when
// gcd(b, m) is not 1.
bool BnModInverse(BnDigit* a, const BnDigit* b, const BnDigit* m, int digits);
// a = gcd(b, c) by repeated remainders.
void BnGcd(BnDigit* a, const BnDigit* b, const BnDigit* c, int digits);

// -1, 0 or 1, comparing from the most significant digit.
int BnCompare(const BnDigit* b, const BnDigit* c, int digits);
bool BnIsZero(const BnDigit* a, int digits);
// Digits up to and including the highest nonzero one; 0 for zero.
int BnSignificantDigits(const BnDigit* a, int digits);
// Significant bits of the whole number; 0 for zero.
unsigned BnSignificantBits(const BnDigit* a, int digits);

// a = b - c * d for the single digit c; returns the borrow digit.
BnDigit BnSubMulDigit(BnDigit* a, const BnDigit* b, BnDigit c, const BnDigit* d, int digits);
// Significant bits of one digit, 0..32.
unsigned BnDigitBits(BnDigit d);
// The 64-bit product of two digits.
inline uint64_t BnDigitMul(BnDigit b, BnDigit c) {
    return static_cast<uint64_t>(b) * c;
}

// b mod d for a single nonzero digit d.
BnDigit BnModDigit(const BnDigit* b, int digits, BnDigit d);

}  // namespace tarvu
