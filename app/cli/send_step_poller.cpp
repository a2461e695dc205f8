#include "app/cli/send_step_poller.h"

#include <algorithm>
#include <utility>

namespace tarvu::cli {
namespace {

// How often a due post looks again whether the pending step has been taken.
constexpr std::chrono::milliseconds kRecheck{1};

}  // namespace

SendStepPoller::SendStepPoller(std::chrono::milliseconds interval, std::function<void()> post,
                               std::function<bool()> previousTaken)
    : interval_(interval),
      post_(std::move(post)),
      previousTaken_(std::move(previousTaken)),
      thread_([this] { Run(); }) {
}

SendStepPoller::~SendStepPoller() {
    Stop();
}

void SendStepPoller::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SendStepPoller::Run() {
    using Clock = std::chrono::steady_clock;
    // Steady deadlines, so a slow post does not stretch the interval.
    auto due = Clock::now() + interval_;
    auto next = due;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
        lock.unlock();
        const bool taken = !previousTaken_ || previousTaken_();
        if (taken) {
            post_();
        }
        lock.lock();
        const auto now = Clock::now();
        if (!taken) {
            next = std::min(now + kRecheck, now + interval_);
            continue;
        }
        // A post that had to wait for the previous step does not make later ones catch up.
        due += interval_;
        if (due < now) {
            due = now + interval_;
        }
        next = due;
    }
}

}  // namespace tarvu::cli
