#pragma once
// Posts a send step at a fixed interval while a session runs (tarvu-cli --poll-interval), so
// that the channel's cycle builder takes the application's messages.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvu::cli {

class SendStepPoller {
public:
    // Calls `post` every `interval`, the first time one interval after construction.
    SendStepPoller(std::chrono::milliseconds interval, std::function<void()> post);
    // Stops and joins.
    ~SendStepPoller();
    SendStepPoller(const SendStepPoller&) = delete;
    SendStepPoller& operator=(const SendStepPoller&) = delete;

    // No call of `post` starts after this returns; one in progress has finished.
    void Stop();

private:
    void Run();

    const std::chrono::milliseconds interval_;
    std::function<void()> post_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tarvu::cli
