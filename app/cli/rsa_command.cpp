#include "app/cli/commands.h"
#include "crypto/crypto_status.h"
#include "crypto/random_generator.h"
#include "crypto/rsa_key_pair.h"
#include "link/hex_text.h"

#include <cstdio>
#include <memory>

namespace tarvu::cli {
namespace {

struct RsaKeygenArgs {
    uint32_t bits = 256;
    uint32_t exponent = 65537;
};

struct FieldName {
    const char* name;
    size_t offset;
    size_t size;
};

// The public record's fields are the first three of the private record.
constexpr FieldName kFields[] = {
    {"bits", kRsaBitsOffset, kRsaBitsSize},
    {"modulus", kRsaModulusOffset, kRsaNumberSize},
    {"publicExponent", kRsaPublicExponentOffset, kRsaNumberSize},
    {"privateExponent", kRsaPrivateExponentOffset, kRsaNumberSize},
    {"prime1", kRsaPrime1Offset, kRsaPrimeSize},
    {"prime2", kRsaPrime2Offset, kRsaPrimeSize},
    {"exponent1", kRsaExponent1Offset, kRsaPrimeSize},
    {"exponent2", kRsaExponent2Offset, kRsaPrimeSize},
    {"coefficient", kRsaCoefficientOffset, kRsaPrimeSize},
};

int RunRsaKeygen(const RsaKeygenArgs& args) {
    // Seeded as the link engine seeds before a key change.
    RandomInit(SharedRandom);
    const uint8_t zero = 0;
    for (int i = 0; i < 256; ++i) {
        RandomUpdate(SharedRandom, &zero, 1);
    }
    RandomSeedFromClock(SharedRandom);

    RsaPublicKey publicKey{};
    RsaPrivateKey privateKey{};
    const RsaKeyRequest request{args.bits, args.exponent == 65537 ? 1u : 0u};
    const int status = RsaGenerateKeyPair(publicKey, privateKey, request, SharedRandom);
    if (status != kCryptoOk) {
        std::fprintf(stderr, "error 0x%04X %s\n", static_cast<unsigned>(status),
                     CryptoStatusName(status));
        return 1;
    }
    for (const FieldName& field : kFields) {
        std::printf("%s: %s\n", field.name,
                    FormatHexBytes(privateKey.data() + field.offset, field.size).c_str());
    }
    return 0;
}

}  // namespace

void RegisterRsaCommand(CLI::App& app, int& exitCode) {
    CLI::App* rsa = app.add_subcommand("rsa", "RSA key pairs as the link engine makes them");
    rsa->require_subcommand(1);
    constexpr const char* kExample =
        "Example (a new key pair every run):\n"
        "  tarvu-cli rsa keygen --bits 256 --exponent 65537\n"
        "  bits: 01 00\n"
        "  modulus: 00 00 ... 00 B5 14 E4 C4 ... 36 2D B9 (128 bytes, the key right-aligned)\n"
        "  then publicExponent, privateExponent, prime1, prime2, exponent1, exponent2 and\n"
        "  coefficient the same way.\n";
    rsa->footer(kExample);
    auto args = std::make_shared<RsaKeygenArgs>();
    CLI::App* keygen = rsa->add_subcommand(
        "keygen",
        "Generate a key pair seeded from the clocks and print every field as 'name: HEX', the "
        "bytes exactly as the records hold them (big-endian, right-aligned, leading zeros "
        "kept): bits, modulus and publicExponent, which both records share, once; then "
        "privateExponent, prime1, prime2, exponent1, exponent2 and coefficient. A failure "
        "prints 'error 0x<code> <name>' and exits 1.");
    keygen->footer(kExample);
    keygen->add_option("--bits", args->bits, "modulus size in bits, 255 to 1024")
        ->capture_default_str();
    keygen->add_option("--exponent", args->exponent, "public exponent")
        ->check(CLI::IsMember({3u, 65537u}))
        ->capture_default_str();
    keygen->callback([args, &exitCode] { exitCode = RunRsaKeygen(*args); });
}

}  // namespace tarvu::cli
