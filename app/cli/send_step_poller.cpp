#include "app/cli/send_step_poller.h"

#include <utility>

namespace tarvu::cli {

SendStepPoller::SendStepPoller(std::chrono::milliseconds interval, std::function<void()> post)
    : interval_(interval), post_(std::move(post)), thread_([this] { Run(); }) {
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
    // Steady deadlines, so a slow post does not stretch the interval.
    auto next = std::chrono::steady_clock::now() + interval_;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
        lock.unlock();
        post_();
        lock.lock();
        next += interval_;
    }
}

}  // namespace tarvu::cli
