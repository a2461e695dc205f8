// The packet cipher on any key and body of every length, checked against an independent
// decryptor: the encrypted length is the smallest multiple of 8 above the body and its pad
// count, decrypting gives back the pad bytes and the body, and a body too long or a buffer
// too small is refused without touching anything.
//
// Input: 32 key bytes, one byte of spare room for the buffer, then the body.

#include "crypto/gost_cipher.h"
#include "fuzz/fuzz_check.h"
#include "tests/link/encrypted_send_decrypt.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace {

void CheckRoundTrip(const std::vector<uint8_t>& buffer, const std::vector<uint8_t>& body,
                    size_t encrypted, const tarvu::PadRecord& pad, const tarvu::GostKey& key) {
    const size_t padCount = tarvu::GostPadCount(body.size());
    FUZZ_CHECK(encrypted == body.size() + padCount + 1);
    FUZZ_CHECK(encrypted % 8 == 0 && encrypted >= 8 && encrypted <= 248);
    FUZZ_CHECK(pad[0] == padCount);
    const auto tail = tarvu::testing::TestDecryptTail(
        std::vector<uint8_t>(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(encrypted)),
        key);
    FUZZ_CHECK(tail.has_value());
    FUZZ_CHECK(tail->plain == body);
    FUZZ_CHECK(std::equal(tail->padBytes.begin(), tail->padBytes.end(), pad.begin() + 1,
                          pad.begin() + 1 + padCount));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 33) {
        return 0;
    }
    tarvu::GostKey key;
    std::memcpy(key.data(), data, key.size());
    const size_t spare = data[32] % 12;
    const std::vector<uint8_t> body(data + 33, data + size);
    const size_t padCount = tarvu::GostPadCount(body.size());

    // The span form with a buffer that may be too small.
    std::vector<uint8_t> buffer(body);
    buffer.resize(body.size() + spare, 0xA5);
    const std::vector<uint8_t> original = buffer;
    tarvu::PadRecord pad;
    pad.fill(0x5A);
    const size_t encrypted =
        tarvu::GostEncryptPacket(std::span<uint8_t>(buffer), body.size(), pad, key);
    if (body.size() > tarvu::kGostMaxBody || spare < padCount + 1) {
        FUZZ_CHECK(encrypted == 0);
        FUZZ_CHECK(buffer == original);
        FUZZ_CHECK(std::all_of(pad.begin(), pad.end(), [](uint8_t b) { return b == 0x5A; }));
    } else {
        CheckRoundTrip(buffer, body, encrypted, pad, key);
        // Nothing past the encrypted length is written.
        FUZZ_CHECK(std::equal(buffer.begin() + static_cast<ptrdiff_t>(encrypted), buffer.end(),
                              original.begin() + static_cast<ptrdiff_t>(encrypted)));
    }

    // The engine's form: key through CurrentGostKey, the buffer with its fixed spare room.
    std::vector<uint8_t> engineBuffer(body);
    engineBuffer.resize(body.size() + tarvu::kGostBufferSpare);
    tarvu::CurrentGostKey = nullptr;
    FUZZ_CHECK(tarvu::GostEncryptPacket(engineBuffer.data(), body.size(), pad) == 0);
    tarvu::CurrentGostKey = &key;
    const size_t engineEncrypted = tarvu::GostEncryptPacket(engineBuffer.data(), body.size(), pad);
    tarvu::CurrentGostKey = nullptr;
    if (body.size() > tarvu::kGostMaxBody) {
        FUZZ_CHECK(engineEncrypted == 0);
    } else {
        CheckRoundTrip(engineBuffer, body, engineEncrypted, pad, key);
    }
    return 0;
}
