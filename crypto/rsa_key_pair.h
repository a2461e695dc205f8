#pragma once
// RSA key pairs: two random primes of half the modulus size, the modulus, the private
// exponent and its Chinese-remainder companions, written as big-endian right-aligned fields.

#include "crypto/random_generator.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvu {

struct RsaKeyRequest {
    uint32_t modulusBits = 256;     // 255 .. 1024
    uint32_t useExponent65537 = 1;  // nonzero: e = 65537; zero: e = 3
};

constexpr uint32_t kRsaMinModulusBits = 255;
constexpr uint32_t kRsaMaxModulusBits = 1024;

// Field offsets and sizes shared by both records.
constexpr size_t kRsaBitsOffset = 0;
constexpr size_t kRsaBitsSize = 2;
constexpr size_t kRsaNumberSize = 128;  // modulus, exponents of modulus size
constexpr size_t kRsaPrimeSize = 64;    // primes and their companions
constexpr size_t kRsaModulusOffset = 2;
constexpr size_t kRsaPublicExponentOffset = 130;
constexpr size_t kRsaPublicKeySize = 258;
// Private record only.
constexpr size_t kRsaPrivateExponentOffset = 258;
constexpr size_t kRsaPrime1Offset = 386;
constexpr size_t kRsaPrime2Offset = 450;
constexpr size_t kRsaExponent1Offset = 514;
constexpr size_t kRsaExponent2Offset = 578;
constexpr size_t kRsaCoefficientOffset = 642;
constexpr size_t kRsaPrivateKeySize = 706;

// A record whose bits field is 0 holds no key.
using RsaPublicKey = std::array<uint8_t, kRsaPublicKeySize>;
using RsaPrivateKey = std::array<uint8_t, kRsaPrivateKeySize>;

// Fills both records and returns 0, or returns kErrModulusBits, kErrNotSeeded or
// kErrPrimeNotFound and leaves both records as they were.
int RsaGenerateKeyPair(RsaPublicKey& publicKey, RsaPrivateKey& privateKey,
                       const RsaKeyRequest& request, RandomState& random);

}  // namespace tarvu
