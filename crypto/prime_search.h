#pragma once
// Probable primes: trial division by the small primes, then one Fermat test to base 2.

#include "crypto/big_num.h"
#include "crypto/random_generator.h"

namespace tarvu {

// Composite if a small prime divides a (a one-digit a equal to a small prime is not
// divided but tested), else prime exactly when 2^a mod a = 2.
bool IsProbablePrime(const BnDigit* a, int digits);

// Draws 4 * digits random bytes, maps them into [lo, hi], moves to the next number that is
// 1 mod step and returns in `prime` the first probable prime from there upwards in steps
// of `step`. kErrPrimeNotFound when the search passes hi - step; kErrNotSeeded from the
// random state. All numbers have `digits` digits; step is at least 1.
int GeneratePrime(BnDigit* prime, const BnDigit* lo, const BnDigit* hi, BnDigit step, int digits,
                  RandomState& random);

}  // namespace tarvu
