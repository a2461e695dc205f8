#include "crypto/gost_cipher.h"

#include "platform/crt_random.h"
#include "platform/performance_counter.h"

#include <ctime>

namespace tarvu {

const GostKey* CurrentGostKey = nullptr;

namespace {

inline uint8_t RotateLeft1(uint8_t v) {
    return static_cast<uint8_t>((v << 1) | (v >> 7));
}

inline uint8_t RotateRight1(uint8_t v) {
    return static_cast<uint8_t>((v >> 1) | (v << 7));
}

}  // namespace

void GostSeedPadGenerator() {
    const int64_t frequency = QueryPerformanceFrequency();
    uint32_t seed;
    if (frequency > 0) {
        // Milliseconds without forming counter * 1000, which overflows after 106 days of
        // uptime with a nanosecond counter.
        const int64_t counter = QueryPerformanceCounter();
        const int64_t ms = counter / frequency * 1000 + counter % frequency * 1000 / frequency;
        seed = static_cast<uint32_t>(ms);
    } else {
        seed = static_cast<uint32_t>(std::time(nullptr));
    }
    CrtSrand(seed);
}

uint8_t GostEncryptPacket(std::span<uint8_t> buffer, size_t length, PadRecord& pad,
                          const GostKey& key) {
    const size_t padCount = GostPadCount(length);
    const size_t total = length + padCount + 1;
    if (length > kGostMaxBody || buffer.size() < total) {
        return 0;
    }
    uint8_t* data = buffer.data();
    for (size_t k = length; k-- > 0;) {
        data[padCount + k] = data[k];
    }

    GostSeedPadGenerator();
    for (size_t i = 0; i < padCount; ++i) {
        const int r = CrtRand();
        const auto padByte = static_cast<uint8_t>(r * 255 / kCrtRandMax);
        data[i] = padByte;
        pad[i + 1] = padByte;
    }
    data[total - 1] = static_cast<uint8_t>(padCount);
    pad[0] = static_cast<uint8_t>(padCount);

    for (size_t i = 1; i < total; ++i) {
        data[i] = RotateLeft1(static_cast<uint8_t>(data[i] ^ data[i - 1]));
    }

    GostEncryptBlocks(data, total / 8, GostExpandKey(key), kGostRoundTables);
    return static_cast<uint8_t>(total);
}

bool GostDecryptPacket(std::span<uint8_t> data, const GostKey& key, size_t* plainOffset,
                       size_t* plainLength) {
    const size_t n = data.size();
    if (n == 0 || n % 8 != 0) {
        return false;
    }
    const GostSubkeys subkeys = GostExpandKey(key);
    for (size_t offset = 0; offset < n; offset += 8) {
        GostDecryptBlock(data.data() + offset, subkeys, kGostRoundTables);
    }
    // From the last byte down, so that each step still sees its predecessor's chained value.
    for (size_t i = n - 1; i > 0; --i) {
        data[i] = static_cast<uint8_t>(RotateRight1(data[i]) ^ data[i - 1]);
    }
    const size_t padCount = data[n - 1];
    if (padCount < 1 || padCount > 8 || padCount + 1 > n) {
        return false;
    }
    *plainOffset = padCount;
    *plainLength = n - padCount - 1;
    return true;
}

uint8_t GostEncryptPacket(uint8_t* buffer, size_t length, PadRecord& pad) {
    if (CurrentGostKey == nullptr || buffer == nullptr || length > kGostMaxBody) {
        return 0;
    }
    return GostEncryptPacket(std::span<uint8_t>(buffer, length + kGostBufferSpare), length, pad,
                             *CurrentGostKey);
}

}  // namespace tarvu
