#pragma once
// Status codes of the cryptography: 0 is success, every failure one of these.

#include <cstdint>

namespace tarvu {

constexpr int kCryptoOk = 0;
// A prime search ran past the top of its range.
constexpr int kErrPrimeNotFound = 0x0401;
// The requested modulus size is outside 255..1024 bits.
constexpr int kErrModulusBits = 0x0407;
// The random state still needs seed bytes.
constexpr int kErrNotSeeded = 0x0408;

// "kErrModulusBits" for 0x0407 and so on; "kCryptoOk" for 0; "unknown" otherwise.
const char* CryptoStatusName(int status);

}  // namespace tarvu
