#pragma once
// An auto-reset waitable timer with relative due times in milliseconds.
//
// SetRelative(ms) makes the timer non-signalled and due `ms` from now; once due it is
// signalled, and one Wait() consumes the signal. A due time of 0 signals at once, which also
// ends a Wait() that is already sleeping. A timer that was never set is never signalled.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace tarvu {

class WaitableTimer {
public:
    void SetRelative(uint32_t milliseconds);
    // Blocks until the timer is signalled.
    void Wait();
    // As Wait(), for at most `timeoutMs`; false when the timer did not fire in that time.
    bool WaitFor(uint32_t timeoutMs);

private:
#ifdef _WIN32
    // The system's auto-reset waitable timer, created and closed with the object.
    struct SystemTimer {
        SystemTimer();
        ~SystemTimer();
        SystemTimer(const SystemTimer&) = delete;
        SystemTimer& operator=(const SystemTimer&) = delete;
        void* handle;
    };
    SystemTimer timer_;
#else
    using Clock = std::chrono::steady_clock;
    bool WaitUntil(std::optional<Clock::time_point> limit);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Clock::time_point> due_;
#endif
};

}  // namespace tarvu
