#include "platform/waitable_timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tarvu {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(WaitableTimer, RelativeWaitLastsItsDueTime) {
    WaitableTimer timer;
    timer.SetRelative(100);
    const auto start = Clock::now();
    timer.Wait();
    const auto took = Clock::now() - start;
    EXPECT_GE(took, milliseconds(95));
    EXPECT_LT(took, milliseconds(300));
}

TEST(WaitableTimer, DueTimeZeroEndsASleepAtOnce) {
    WaitableTimer timer;
    timer.SetRelative(10000);
    Clock::time_point woke;
    std::thread sleeper([&] {
        timer.Wait();
        woke = Clock::now();
    });
    std::this_thread::sleep_for(milliseconds(30));
    const auto set = Clock::now();
    timer.SetRelative(0);
    sleeper.join();
    EXPECT_LT(woke - set, milliseconds(50));
}

TEST(WaitableTimer, SignalIsConsumedBySingleWaitAndResetBySetting) {
    WaitableTimer timer;
    EXPECT_FALSE(timer.WaitFor(20));  // never set: never signalled

    timer.SetRelative(0);
    EXPECT_TRUE(timer.WaitFor(0));
    EXPECT_FALSE(timer.WaitFor(20));  // auto-reset

    // Setting again replaces a signal that nobody took.
    timer.SetRelative(0);
    timer.SetRelative(150);
    EXPECT_FALSE(timer.WaitFor(60));
    const auto start = Clock::now();
    EXPECT_TRUE(timer.WaitFor(1000));
    EXPECT_GE(Clock::now() - start, milliseconds(60));
}

}  // namespace
}  // namespace tarvu
