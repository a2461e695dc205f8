#include "link/send_pacing.h"

#include "platform/performance_counter.h"

namespace tarvu {

PacingClock PerformanceClock() {
    return PacingClock{&QueryPerformanceCounter, &QueryPerformanceFrequency};
}

int64_t ElapsedMilliseconds(int64_t start, int64_t end, int64_t frequency) {
    // Split the span so that the multiplication by 1000 cannot overflow: a nanosecond counter
    // would overflow after about 106 days in the plain product. Quotient and remainder share
    // the span's sign, so the sum truncates exactly as the plain expression does.
    const int64_t span = end - start;
    return span / frequency * 1000 + span % frequency * 1000 / frequency;
}

int64_t MeasureSendSpacing(const PacingClock& clock, uint16_t minSendInterval,
                           int64_t& lastSendTime, int64_t& now) {
    const int64_t frequency = clock.frequency != nullptr ? clock.frequency() : 0;
    if (frequency <= 0 || clock.counter == nullptr) {
        return 0;
    }
    now = clock.counter();
    if (lastSendTime == 0) {
        lastSendTime = now;
        return 0;
    }
    const int64_t elapsed = ElapsedMilliseconds(lastSendTime, now, frequency);
    // The whole elapsed time is compared: judging by its low 16 bits alone would take 65.576 s
    // for 40 ms and make the gap negative.
    if (minSendInterval != 0 && elapsed < minSendInterval) {
        lastSendTime += int64_t{minSendInterval} * frequency / 1000;
        return minSendInterval - elapsed;
    }
    lastSendTime = now;
    return 0;
}

}  // namespace tarvu
