#include "link/send_pacing.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

int64_t gCounter = 0;
int64_t gFrequency = 0;
int64_t FakeCounter() {
    return gCounter;
}
int64_t FakeFrequency() {
    return gFrequency;
}
constexpr PacingClock kFakeClock{&FakeCounter, &FakeFrequency};

TEST(SendStepPacing, FirstMeasurementOnlyRecordsTheTime) {
    gFrequency = 10'000'000;
    gCounter = 123'456'789;
    int64_t last = 0;
    int64_t now = 0;
    EXPECT_EQ(MeasureSendSpacing(kFakeClock, 100, last, now), 0);
    EXPECT_EQ(last, 123'456'789);
    EXPECT_EQ(now, 123'456'789);
}

TEST(SendStepPacing, ShortSpacingWaitsTheRestAndAdvancesByOneInterval) {
    gFrequency = 10'000'000;  // 10 000 counts per millisecond
    int64_t last = 5'000'000;
    int64_t now = 0;
    gCounter = last + 40 * 10'000 + 9'999;  // 40.9999 ms: only whole milliseconds count
    EXPECT_EQ(MeasureSendSpacing(kFakeClock, 100, last, now), 60);
    EXPECT_EQ(last, 5'000'000 + 100 * 10'000);
    EXPECT_EQ(now, gCounter);

    // A frequency that is not a multiple of 1000 advances by the truncated product.
    gFrequency = 3'579'545;
    last = 1;
    gCounter = 1 + 3'579;  // 0.9999 ms
    EXPECT_EQ(MeasureSendSpacing(kFakeClock, 100, last, now), 100);
    EXPECT_EQ(last, 1 + 357'954);
}

TEST(SendStepPacing, LongEnoughSpacingOrNoMinimumRestartsFromNow) {
    gFrequency = 1000;
    int64_t last = 500;
    int64_t now = 0;
    gCounter = 600;  // exactly the interval
    EXPECT_EQ(MeasureSendSpacing(kFakeClock, 100, last, now), 0);
    EXPECT_EQ(last, 600);

    gCounter = 610;
    EXPECT_EQ(MeasureSendSpacing(kFakeClock, 0, last, now), 0);
    EXPECT_EQ(last, 610);

    // 65 576 ms is long enough even though its low 16 bits read 40.
    gCounter = 610 + 65'576;
    EXPECT_EQ(MeasureSendSpacing(kFakeClock, 100, last, now), 0);
    EXPECT_EQ(last, 610 + 65'576);
}

TEST(SendStepPacing, UnusableCounterLeavesEverythingAlone) {
    gFrequency = 0;
    gCounter = 999;
    int64_t last = 7;
    int64_t now = 8;
    EXPECT_EQ(MeasureSendSpacing(kFakeClock, 100, last, now), 0);
    EXPECT_EQ(last, 7);
    EXPECT_EQ(now, 8);
}

TEST(SendStepPacing, ElapsedTimeDoesNotOverflowOnLongSpans) {
    constexpr int64_t kNanos = 1'000'000'000;
    constexpr int64_t kTwoHundredDaysMs = 200LL * 24 * 3600 * 1000;
    EXPECT_EQ(ElapsedMilliseconds(0, kTwoHundredDaysMs * 1'000'000 + 999'999, kNanos),
              kTwoHundredDaysMs);
    EXPECT_EQ(ElapsedMilliseconds(1'000, 1'000 + 40'999'999, kNanos), 40);
    EXPECT_EQ(ElapsedMilliseconds(41'000'000, 0, kNanos), -41);
}

TEST(SendStepPacing, PlatformClockIsUsable) {
    const PacingClock clock = PerformanceClock();
    ASSERT_NE(clock.counter, nullptr);
    ASSERT_NE(clock.frequency, nullptr);
    EXPECT_GT(clock.frequency(), 0);
    const int64_t a = clock.counter();
    EXPECT_GE(clock.counter(), a);
}

}  // namespace
}  // namespace tarvu
