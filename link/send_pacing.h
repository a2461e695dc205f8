#pragma once
// Spacing of paced sends, measured with the performance counter.

#include <cstdint>

namespace tarvu {

// The counter the send step reads; tests substitute their own.
struct PacingClock {
    int64_t (*counter)();
    int64_t (*frequency)();  // counts per second; 0 means the counter cannot be used
};

// The platform's performance counter.
PacingClock PerformanceClock();

// Milliseconds from `start` to `end` in whole milliseconds, (end - start) * 1000 / frequency
// without overflowing for any span the counter can hold.
int64_t ElapsedMilliseconds(int64_t start, int64_t end, int64_t frequency);

// One spacing measurement. Reads the counter into `now`. The first measurement only records
// the time. A later one that finds less than `minSendInterval` ms since `lastSendTime` moves
// `lastSendTime` on by exactly one interval's worth of counts and returns the missing
// milliseconds; otherwise `lastSendTime` becomes `now` and the result is 0. Without a usable
// counter nothing changes and the result is 0.
int64_t MeasureSendSpacing(const PacingClock& clock, uint16_t minSendInterval,
                           int64_t& lastSendTime, int64_t& now);

}  // namespace tarvu
