#pragma once
// The odd primes below 8192 (3 .. 8191) in increasing order, built at compile time.

#include <array>
#include <cstdint>

namespace tarvu {

constexpr int kSmallPrimeCount = 1027;
constexpr unsigned kSmallPrimeLimit = 8192;

constexpr std::array<uint16_t, kSmallPrimeCount> MakeSmallPrimeTable() {
    std::array<bool, kSmallPrimeLimit> composite{};
    std::array<uint16_t, kSmallPrimeCount> table{};
    int count = 0;
    for (unsigned n = 3; n < kSmallPrimeLimit; n += 2) {
        if (composite[n]) {
            continue;
        }
        table[count++] = static_cast<uint16_t>(n);  // out of range here fails compilation
        for (unsigned k = n * n; k < kSmallPrimeLimit; k += 2 * n) {
            composite[k] = true;
        }
    }
    return count == kSmallPrimeCount ? table : std::array<uint16_t, kSmallPrimeCount>{};
}

inline constexpr std::array<uint16_t, kSmallPrimeCount> SmallPrimeTable = MakeSmallPrimeTable();

static_assert(SmallPrimeTable[0] == 3 && SmallPrimeTable[kSmallPrimeCount - 1] == 8191,
              "the table holds every odd prime below 8192");

}  // namespace tarvu
