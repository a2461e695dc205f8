// Cryptography throughput and key-pair time, each beside a reference library on the same
// data in the same run: the GOST block step beside libgcrypt's GOST 28147-89 (ECB), MD5
// beside OpenSSL's, RSA key pairs beside OpenSSL's RSA key generation.

#include "crypto/gost_cipher.h"
#include "crypto/md5.h"
#include "crypto/random_generator.h"
#include "crypto/rsa_key_pair.h"

#include <benchmark/benchmark.h>
#include <gcrypt.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <random>
#include <vector>

namespace {

using namespace tarvu;

constexpr size_t kCipherBytes = 4096;
constexpr size_t kDigestBytes = 64 * 1024;

std::vector<uint8_t> TestData(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> data(n);
    for (auto& b : data) {
        b = static_cast<uint8_t>(rng());
    }
    return data;
}

GostKey TestKey() {
    const std::vector<uint8_t> bytes = TestData(32, 99);
    GostKey key;
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

void BM_GostBlocks_Ours(benchmark::State& state) {
    std::vector<uint8_t> data = TestData(kCipherBytes, 1);
    const GostSubkeys subkeys = GostExpandKey(TestKey());
    for (auto _ : state) {
        GostEncryptBlocks(data.data(), data.size() / 8, subkeys, kGostRoundTables);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCipherBytes));
}
BENCHMARK(BM_GostBlocks_Ours);

// One block per call, as a caller without a batch would use it.
void BM_GostBlocks_OursSingle(benchmark::State& state) {
    std::vector<uint8_t> data = TestData(kCipherBytes, 1);
    const GostSubkeys subkeys = GostExpandKey(TestKey());
    for (auto _ : state) {
        for (size_t off = 0; off < data.size(); off += 8) {
            GostEncryptBlock(data.data() + off, subkeys, kGostRoundTables);
        }
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCipherBytes));
}
BENCHMARK(BM_GostBlocks_OursSingle);

void BM_GostBlocks_Libgcrypt(benchmark::State& state) {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    std::vector<uint8_t> data = TestData(kCipherBytes, 1);
    const GostKey key = TestKey();
    gcry_cipher_hd_t h = nullptr;
    gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0);
    gcry_cipher_setkey(h, key.data(), key.size());
    for (auto _ : state) {
        gcry_cipher_encrypt(h, data.data(), data.size(), nullptr, 0);
        benchmark::DoNotOptimize(data.data());
    }
    gcry_cipher_close(h);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCipherBytes));
}
BENCHMARK(BM_GostBlocks_Libgcrypt);

// A whole 118-byte packet body: reseed, pad, chain and 15 blocks.
void BM_GostPacket118(benchmark::State& state) {
    const std::vector<uint8_t> body = TestData(118, 2);
    const GostKey key = TestKey();
    std::vector<uint8_t> buffer(118 + kGostBufferSpare);
    PadRecord pad{};
    for (auto _ : state) {
        std::copy(body.begin(), body.end(), buffer.begin());
        benchmark::DoNotOptimize(GostEncryptPacket(buffer, body.size(), pad, key));
    }
}
BENCHMARK(BM_GostPacket118);

void BM_Md5_Ours(benchmark::State& state) {
    const std::vector<uint8_t> data = TestData(kDigestBytes, 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Md5(data.data(), data.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDigestBytes));
}
BENCHMARK(BM_Md5_Ours);

void BM_Md5_OpenSsl(benchmark::State& state) {
    const std::vector<uint8_t> data = TestData(kDigestBytes, 3);
    uint8_t digest[16];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDigestBytes));
}
BENCHMARK(BM_Md5_OpenSsl);

// One key pair per repetition, so that the median aggregate is the median key-pair time.
void BM_RsaKeyPair_Ours(benchmark::State& state) {
    static uint32_t run = 0;
    RandomState random;
    RandomInit(random);
    const std::vector<uint8_t> seed = TestData(256, 1000 + run++);
    RandomUpdate(random, seed.data(), seed.size());
    RsaPublicKey publicKey{};
    RsaPrivateKey privateKey{};
    const RsaKeyRequest request{static_cast<uint32_t>(state.range(0)), 1};
    for (auto _ : state) {
        if (RsaGenerateKeyPair(publicKey, privateKey, request, random) != 0) {
            state.SkipWithError("key generation failed");
        }
    }
}
BENCHMARK(BM_RsaKeyPair_Ours)
    ->Arg(256)
    ->Arg(1024)
    ->Iterations(1)
    ->Repetitions(51)
    ->ReportAggregatesOnly()
    ->Unit(benchmark::kMillisecond);

void BM_RsaKeyPair_OpenSsl(benchmark::State& state) {
    for (auto _ : state) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
        EVP_PKEY* key = nullptr;
        if (EVP_PKEY_keygen_init(ctx) != 1 ||
            EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, static_cast<int>(state.range(0))) != 1 ||
            EVP_PKEY_generate(ctx, &key) != 1) {
            state.SkipWithError("OpenSSL key generation failed");
        }
        EVP_PKEY_free(key);
        EVP_PKEY_CTX_free(ctx);
    }
}
BENCHMARK(BM_RsaKeyPair_OpenSsl)
    ->Arg(512)
    ->Arg(1024)
    ->Iterations(1)
    ->Repetitions(51)
    ->ReportAggregatesOnly()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
