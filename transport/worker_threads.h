#pragma once
// The table of the process's worker threads: at most 16, shared by every driver, because all
// of them take completions from the one completion port. A driver starts its threads when it
// opens and, when it shuts down, waits for as many threads to end as it started (whichever
// threads took its quit requests).

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvu {

class WorkerThreadTable {
public:
    static constexpr uint32_t kMaxThreads = 16;

    // True when `count` more threads fit in the table.
    bool Fits(uint32_t count);
    // Starts `count` threads running `body`; each records its system thread identifier.
    void Start(uint32_t count, const std::function<void()>& body);
    // Waits until `count` threads have ended, joins them and removes them from the table (the
    // later entries move down). `onEnded` runs once per thread removed.
    void JoinEnded(uint32_t count, const std::function<void()>& onEnded);
    uint32_t Size();

private:
    struct Slot {
        std::thread thread;
        uint32_t threadId = 0;
        bool ended = false;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Slot>> slots_;
};

WorkerThreadTable& WorkerThreads();

}  // namespace tarvu
