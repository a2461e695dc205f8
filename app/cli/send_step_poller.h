#pragma once
// Posts a send step at a fixed interval while a session runs (tarvu-cli --poll-interval), so
// that the channel's cycle builder takes the application's messages.
//
// A step that sends a message blocks the worker for its wait (3000 ms), so posts made meanwhile
// would pile up behind it and push received datagrams back. At most one step is pending: the
// next post waits until the worker has taken the previous one.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvu::cli {

class SendStepPoller {
public:
    // Calls `post` every `interval`, the first time one interval after construction, but only
    // while `previousTaken` says that no step posted earlier is still waiting; a post that is
    // due while one waits happens as soon as it has been taken. Without `previousTaken` every
    // interval posts.
    SendStepPoller(std::chrono::milliseconds interval, std::function<void()> post,
                   std::function<bool()> previousTaken = {});
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
    std::function<bool()> previousTaken_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tarvu::cli
