#include "crypto/random_generator.h"

#include "crypto/crypto_status.h"
#include "crypto/md5.h"
#include "platform/byte_order.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace tarvu {

RandomState SharedRandom;

namespace {

constexpr uint32_t kInitSeedBytes = 256;
constexpr uint32_t kClockSeedBytes = 512;

void AddDigest(std::array<uint8_t, 16>& counter, const Md5Digest& digest) {
    unsigned carry = 0;
    for (int i = 15; i >= 0; --i) {
        unsigned sum = counter[i] + digest[i] + carry;
        counter[i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
    }
}

}  // namespace

int RandomInit(RandomState& state) {
    state.seedNeeded = kInitSeedBytes;
    state.counter.fill(0);
    state.outLeft = 0;
    return kCryptoOk;
}

int RandomUpdate(RandomState& state, const uint8_t* bytes, size_t length) {
    AddDigest(state.counter, Md5(bytes, length));
    state.seedNeeded =
        state.seedNeeded < length ? 0 : static_cast<uint32_t>(state.seedNeeded - length);
    return kCryptoOk;
}

int RandomSeedNeeded(uint32_t& count, const RandomState& state) {
    count = state.seedNeeded;
    return kCryptoOk;
}

void RandomStepCounter(std::array<uint8_t, 16>& counter) {
    for (int i = 15; i >= 0; --i) {
        uint8_t before = counter[i];
        counter[i] = static_cast<uint8_t>(before + 1);
        if (before != 0) {
            break;
        }
    }
}

int RandomGenerate(uint8_t* out, size_t length, RandomState& state) {
    if (state.seedNeeded != 0) {
        return kErrNotSeeded;
    }
    while (length > state.outLeft) {
        std::memcpy(out, state.outBlock.data() + (16 - state.outLeft), state.outLeft);
        out += state.outLeft;
        length -= state.outLeft;
        state.outBlock = Md5(state.counter.data(), state.counter.size());
        RandomStepCounter(state.counter);
        state.outLeft = 16;
    }
    if (length != 0) {
        std::memcpy(out, state.outBlock.data() + (16 - state.outLeft), length);
        state.outLeft -= static_cast<uint32_t>(length);
    }
    return kCryptoOk;
}

ClockReading ReadClocks(void* /*context*/) {
    // Broken-down UTC time from the calendar clock without gmtime's shared buffer.
    using namespace std::chrono;
    const sys_seconds now = floor<seconds>(system_clock::now());
    const sys_days day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{now - day};
    const sys_days yearStart{date.year() / January / 1};
    ClockReading reading;
    reading.brokenDownTime = {
        static_cast<int32_t>(time.seconds().count()),
        static_cast<int32_t>(time.minutes().count()),
        static_cast<int32_t>(time.hours().count()),
        static_cast<int32_t>(static_cast<unsigned>(date.day())),
        static_cast<int32_t>(static_cast<unsigned>(date.month())) - 1,
        static_cast<int32_t>(date.year()) - 1900,
        static_cast<int32_t>(weekday{day}.c_encoding()),
        static_cast<int32_t>((day - yearStart).count()),
        0,  // UTC has no daylight-saving time
    };
    reading.processorTime = static_cast<uint32_t>(std::clock());
    return reading;
}

void RandomSeedFromClock(RandomState& state) {
    RandomSeedFromClock(state, &ReadClocks, nullptr);
}

void RandomSeedFromClock(RandomState& state, ClockReader reader, void* context) {
    state.counter.fill(0);
    state.outLeft = 0;
    state.seedNeeded = kClockSeedBytes;
    uint8_t timeBytes[36];
    uint8_t clockBytes[4];
    while (state.seedNeeded != 0) {
        const ClockReading reading = reader(context);
        for (int i = 0; i < 9; ++i) {
            StoreLe32(timeBytes + 4 * i, static_cast<uint32_t>(reading.brokenDownTime[i]));
        }
        StoreLe32(clockBytes, reading.processorTime);
        RandomUpdate(state, timeBytes, sizeof timeBytes);
        RandomUpdate(state, clockBytes, sizeof clockBytes);
    }
    // The clock readings are seed material; leave none of it on the stack.
    volatile uint8_t* wipe = timeBytes;
    for (size_t i = 0; i < sizeof timeBytes; ++i) {
        wipe[i] = 0;
    }
}

}  // namespace tarvu
