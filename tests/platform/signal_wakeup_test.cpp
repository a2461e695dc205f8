#include "platform/signal_wakeup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <poll.h>
#include <signal.h>

namespace tarvu {
namespace {

std::atomic<int> gEarlierHandlerSaw{0};

extern "C" void EarlierHandler(int signal) {
    gEarlierHandlerSaw.store(signal);
}

bool Readable(int fd) {
    pollfd entry = {fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
}

TEST(SignalWakeup, EachStopSignalWakesThePipeAndTheEarlierHandlerComesBack) {
    struct sigaction earlier = {};
    earlier.sa_handler = EarlierHandler;
    sigemptyset(&earlier.sa_mask);
    struct sigaction saved = {};
    ASSERT_EQ(sigaction(SIGHUP, &earlier, &saved), 0);
    {
        SignalWakeup wakeup;
        ASSERT_TRUE(wakeup.Valid());
        EXPECT_FALSE(Readable(wakeup.Descriptor()));
        EXPECT_EQ(wakeup.Take(), 0);
        for (int signal : {SIGHUP, SIGINT, SIGTERM}) {
            ASSERT_EQ(std::raise(signal), 0);
            EXPECT_TRUE(Readable(wakeup.Descriptor())) << signal;
            EXPECT_EQ(wakeup.Take(), signal);
            EXPECT_FALSE(Readable(wakeup.Descriptor())) << signal;
        }
        // Several before the loop looks: one wake-up, the last signal reported.
        std::raise(SIGTERM);
        std::raise(SIGHUP);
        EXPECT_EQ(wakeup.Take(), SIGHUP);
        EXPECT_EQ(gEarlierHandlerSaw.load(), 0);
    }
    std::raise(SIGHUP);
    EXPECT_EQ(gEarlierHandlerSaw.load(), SIGHUP);
    sigaction(SIGHUP, &saved, nullptr);
}

}  // namespace
}  // namespace tarvu
