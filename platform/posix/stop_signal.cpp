#include "platform/stop_signal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <signal.h>
#include <thread>

namespace tarvu {
namespace {

// Lock-free, so the handler may store into it.
std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int) {
    gStop.store(true);
}

}  // namespace

void InstallStopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal: the session still ends with its closing sequence.
    sigaction(SIGHUP, &action, nullptr);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool StopRequested() {
    return gStop.load();
}

void RequestStop() {
    gStop.store(true);
}

void StopCompleted() {
}

bool WaitForStop(int milliseconds, const std::function<bool()>& until) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kSlice = std::chrono::milliseconds(5);
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (true) {
        if (gStop.load()) {
            return true;
        }
        if (until && until()) {
            return false;
        }
        if (milliseconds >= 0) {
            const auto now = Clock::now();
            if (now >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, deadline - now));
        } else {
            std::this_thread::sleep_for(kSlice);
        }
    }
}

}  // namespace tarvu
