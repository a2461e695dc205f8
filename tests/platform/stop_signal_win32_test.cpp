#include "platform/stop_signal.h"
#include "platform/win32/console_events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <windows.h>

namespace tarvu {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::atomic<bool>& flag, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!flag.load() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return flag.load();
}

// The system ends the process as soon as the handler of a close event returns: the handler
// must hold it until the closing sequence is done. Wine cannot send these events, so the
// handler is called as the system's handler thread would call it.
TEST(StopSignals, AConsoleCloseEventWaitsForTheClosingSequence) {
    InstallStopSignals();
    ASSERT_TRUE(HandleConsoleEvent(CTRL_C_EVENT)) << "Ctrl+C is a stop request";
    EXPECT_FALSE(HandleConsoleEvent(CTRL_C_EVENT + 42)) << "not ours: the next handler's";

    std::atomic<bool> returned{false};
    std::atomic<bool> taken{false};
    std::thread handler([&] {
        taken = HandleConsoleEvent(CTRL_CLOSE_EVENT);
        returned = true;
    });
    EXPECT_TRUE(StopRequested());
    EXPECT_FALSE(WaitUntil(returned, std::chrono::milliseconds(500)))
        << "the handler let the system end the process before the closing sequence";
    const auto done = Clock::now();
    StopCompleted();
    EXPECT_TRUE(WaitUntil(returned, std::chrono::milliseconds(2000)));
    EXPECT_LT(Clock::now() - done, std::chrono::milliseconds(1000));
    handler.join();
    EXPECT_TRUE(taken.load());

    // Once the closing work is done, logoff and shutdown need not wait.
    for (const DWORD event : {DWORD{CTRL_LOGOFF_EVENT}, DWORD{CTRL_SHUTDOWN_EVENT}}) {
        const auto start = Clock::now();
        EXPECT_TRUE(HandleConsoleEvent(event)) << event;
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000)) << event;
    }
}

}  // namespace
}  // namespace tarvu
