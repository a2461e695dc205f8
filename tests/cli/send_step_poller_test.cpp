#include "app/cli/send_step_poller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tarvu {
namespace {

using namespace std::chrono_literals;
using cli::SendStepPoller;

// A worker that takes posted steps only when the test lets it.
struct FakeWorker {
    std::atomic<int> posted{0};
    std::atomic<int> taken{0};
    bool PreviousTaken() const { return taken.load() == posted.load(); }
};

TEST(SendStepPoller, NoSecondStepIsPostedWhileTheFirstWaits) {
    FakeWorker worker;
    SendStepPoller poller(
        1ms, [&worker] { ++worker.posted; }, [&worker] { return worker.PreviousTaken(); });
    // The first step blocks the worker (as a message's 3000 ms wait does).
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (worker.posted.load() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(worker.posted.load(), 1);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(worker.posted.load(), 1) << "steps piled up behind a waiting one";

    // Once taken, the next one follows promptly.
    ++worker.taken;
    while (worker.posted.load() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(worker.posted.load(), 2);
    poller.Stop();
    const int atStop = worker.posted.load();
    ++worker.taken;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(worker.posted.load(), atStop) << "posted after Stop";
}

}  // namespace
}  // namespace tarvu
