#include "crypto/prime_search.h"

#include "crypto/crypto_status.h"
#include "crypto/montgomery.h"
#include "crypto/small_prime_table.h"

#include <array>
#include <cstring>

namespace tarvu {
namespace {

// Candidates examined per sieve window in the step-2 search.
constexpr uint32_t kSieveWindow = 4096;

bool FermatBase2(const BnDigit* a, int digits) {
    MontgomeryModulus mod;
    if (MontSetup(mod, a, digits)) {
        return MontFermatBase2(mod);
    }
    // Even moduli and 1 take the plain route.
    BnDigit two[kBnMaxDigits] = {2};
    BnDigit result[kBnMaxDigits];
    BnModExp(result, two, a, digits, a, digits);
    return BnCompare(result, two, digits) == 0;
}

// c = a + 2 * index, in `digits` digits.
void CandidateAt(BnDigit* c, const BnDigit* a, uint64_t index, int digits) {
    BnDigit offset[kBnMaxDigits] = {};
    const uint64_t twice = 2 * index;
    offset[0] = static_cast<BnDigit>(twice);
    if (digits > 1) {
        offset[1] = static_cast<BnDigit>(twice >> 32);
    }
    BnAdd(c, a, offset, digits);
}

// The step-2 search from an odd start a above every small prime. It visits the same
// candidates in the same order as testing each with IsProbablePrime, but finds the small
// factors by sieving a window of candidates with remainders kept from window to window.
int SearchOddPrime(BnDigit* prime, const BnDigit* a, const BnDigit* limit, int digits) {
    // lastIndex: the last candidate index not above limit, or none at all.
    bool anyWithinLimit = BnCompare(a, limit, digits) <= 0;
    uint64_t lastIndex = 0;
    if (anyWithinLimit) {
        BnDigit gap[kBnMaxDigits];
        BnSub(gap, limit, a, digits);
        if (BnSignificantBits(gap, digits) > 60) {
            lastIndex = uint64_t{1} << 59;
        } else {
            lastIndex = ((static_cast<uint64_t>(digits > 1 ? gap[1] : 0) << 32) | gap[0]) / 2;
        }
    }

    std::array<uint16_t, kSmallPrimeCount> rem;
    for (int k = 0; k < kSmallPrimeCount; ++k) {
        rem[k] = static_cast<uint16_t>(BnModDigit(a, digits, SmallPrimeTable[k]));
    }
    std::array<uint8_t, kSieveWindow> composite;
    BnDigit candidate[kBnMaxDigits];
    for (uint64_t base = 0;; base += kSieveWindow) {
        composite.fill(0);
        for (int k = 0; k < kSmallPrimeCount; ++k) {
            const uint32_t s = SmallPrimeTable[k];
            // First j with rem + 2j = 0 (mod s); (s + 1) / 2 is the inverse of 2.
            uint32_t j = (s - rem[k]) % s * ((s + 1) / 2) % s;
            for (; j < kSieveWindow; j += s) {
                composite[j] = 1;
            }
            rem[k] = static_cast<uint16_t>((rem[k] + 2 * kSieveWindow) % s);
        }
        for (uint32_t j = 0; j < kSieveWindow; ++j) {
            const uint64_t index = base + j;
            if (composite[j] == 0) {
                CandidateAt(candidate, a, index, digits);
                if (FermatBase2(candidate, digits)) {
                    BnCopy(prime, candidate, digits);
                    return kCryptoOk;
                }
            }
            if (!anyWithinLimit || index > lastIndex) {
                return kErrPrimeNotFound;
            }
        }
    }
}

}  // namespace

bool IsProbablePrime(const BnDigit* a, int digits) {
    for (const uint16_t s : SmallPrimeTable) {
        if (digits == 1 && a[0] == s) {
            break;
        }
        if (BnModDigit(a, digits, s) == 0) {
            return false;
        }
    }
    return FermatBase2(a, digits);
}

int GeneratePrime(BnDigit* prime, const BnDigit* lo, const BnDigit* hi, BnDigit step, int digits,
                  RandomState& random) {
    uint8_t bytes[4 * kBnMaxDigits];
    const size_t byteCount = 4 * static_cast<size_t>(digits);
    const int status = RandomGenerate(bytes, byteCount, random);
    if (status != kCryptoOk) {
        return status;
    }
    // One spare digit on top, so that the adjustments below cannot overflow.
    const int w = digits + 1;
    BnDigit a[kBnMaxDigits + 1] = {};
    BnDecode(a, digits, bytes, byteCount);

    BnDigit range[kBnMaxDigits] = {};
    BnDigit one[kBnMaxDigits + 1] = {1};
    BnSub(range, hi, lo, digits);
    // A range of the whole digit space wraps to 0 and leaves a as it is.
    if (BnAdd(range, range, one, digits) == 0) {
        BnMod(a, a, digits, range, digits);
    }
    BnDigit loW[kBnMaxDigits + 1] = {};
    BnDigit hiW[kBnMaxDigits + 1] = {};
    BnDigit stepW[kBnMaxDigits + 1] = {step};
    BnCopy(loW, lo, digits);
    BnCopy(hiW, hi, digits);
    BnAdd(a, a, loW, w);

    BnDigit r[kBnMaxDigits + 1] = {BnModDigit(a, w, step)};
    BnSub(a, a, r, w);
    BnAdd(a, a, one, w);
    if (BnCompare(a, loW, w) < 0) {
        BnAdd(a, a, stepW, w);
    }
    if (BnCompare(a, hiW, w) > 0) {
        BnSub(a, a, stepW, w);
    }

    BnDigit limit[kBnMaxDigits + 1];
    const bool limitBelowZero = BnSub(limit, hiW, stepW, w) != 0;

    const bool loAboveSmallPrimes =
        BnSignificantDigits(lo, digits) > 1 || lo[0] >= kSmallPrimeLimit;
    if (step == 2 && loAboveSmallPrimes && !limitBelowZero && a[digits] == 0) {
        return SearchOddPrime(prime, a, limit, digits);
    }
    while (!IsProbablePrime(a, digits)) {
        if (limitBelowZero || BnCompare(a, limit, w) > 0) {
            return kErrPrimeNotFound;
        }
        BnAdd(a, a, stepW, w);
    }
    BnCopy(prime, a, digits);
    return kCryptoOk;
}

}  // namespace tarvu
