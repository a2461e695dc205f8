#pragma once
// Deterministic random generator on MD5: seed is mixed into a 128-bit counter by adding
// digests; output is the digest of the counter, after which the counter steps on.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvu {

struct RandomState {
    uint32_t seedNeeded = 0;             // seed bytes still required before output
    std::array<uint8_t, 16> counter{};   // big-endian: byte 0 most significant
    uint32_t outLeft = 0;                // unread bytes at the end of outBlock (0..16)
    std::array<uint8_t, 16> outBlock{};  // the last digest produced
};

// The process's one generator; used only by the link engine's worker thread.
extern RandomState SharedRandom;

// Requires 256 seed bytes before output; keeps outBlock's old contents.
int RandomInit(RandomState& state);
int RandomUpdate(RandomState& state, const uint8_t* bytes, size_t length);
int RandomSeedNeeded(uint32_t& count, const RandomState& state);
// kErrNotSeeded (output and state untouched) while seed is still needed; else 0.
int RandomGenerate(uint8_t* out, size_t length, RandomState& state);

// One reading of the clocks: the broken-down UTC time as nine 32-bit integers (seconds,
// minutes, hours, day of month, month 0..11, years since 1900, day of week, day of year,
// daylight-saving flag) and the processor-time count.
struct ClockReading {
    std::array<int32_t, 9> brokenDownTime{};
    uint32_t processorTime = 0;
};
using ClockReader = ClockReading (*)(void* context);

ClockReading ReadClocks(void* context);

// Starts the state afresh and mixes clock readings in until no seed is needed.
void RandomSeedFromClock(RandomState& state);
// The same with the readings taken from `reader`, so that tests can supply them.
void RandomSeedFromClock(RandomState& state, ClockReader reader, void* context);

// Adds 1 to the big-endian counter, moving on to the next byte while the byte just
// stepped was 0 before the addition (not when it wraps from 255 to 0).
void RandomStepCounter(std::array<uint8_t, 16>& counter);

}  // namespace tarvu
