#include "platform/waitable_timer.h"

namespace tarvu {

void WaitableTimer::SetRelative(uint32_t milliseconds) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        due_ = Clock::now() + std::chrono::milliseconds(milliseconds);
    }
    // Sleepers re-read the due time: an earlier one (0 in particular) ends their wait.
    changed_.notify_all();
}

void WaitableTimer::Wait() {
    WaitUntil(std::nullopt);
}

bool WaitableTimer::WaitFor(uint32_t timeoutMs) {
    return WaitUntil(Clock::now() + std::chrono::milliseconds(timeoutMs));
}

bool WaitableTimer::WaitUntil(std::optional<Clock::time_point> limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (due_ && *due_ <= now) {
            due_.reset();  // auto-reset: this waiter takes the signal
            return true;
        }
        if (limit && *limit <= now) {
            return false;
        }
        if (due_ && (!limit || *due_ < *limit)) {
            changed_.wait_until(lock, *due_);
        } else if (limit) {
            changed_.wait_until(lock, *limit);
        } else {
            changed_.wait(lock);
        }
    }
}

}  // namespace tarvu
