#include "transport/worker_threads.h"

#include "platform/thread_id.h"

#include <algorithm>
#include <memory>

namespace tarvu {

WorkerThreadTable& WorkerThreads() {
    static WorkerThreadTable table;
    return table;
}

bool WorkerThreadTable::Fits(uint32_t count) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return slots_.size() + count <= kMaxThreads;
}

void WorkerThreadTable::Start(uint32_t count, const std::function<void()>& body) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (uint32_t i = 0; i < count; ++i) {
        auto slot = std::make_unique<Slot>();
        Slot* raw = slot.get();
        raw->thread = std::thread([this, raw, body] {
            {
                const std::lock_guard<std::mutex> own(mutex_);
                raw->threadId = CurrentThreadId();
            }
            body();
            const std::lock_guard<std::mutex> own(mutex_);
            raw->ended = true;
            changed_.notify_all();
        });
        slots_.push_back(std::move(slot));
    }
}

void WorkerThreadTable::JoinEnded(uint32_t count, const std::function<void()>& onEnded) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (count > 0) {
        const auto ended =
            std::find_if(slots_.begin(), slots_.end(), [](const auto& s) { return s->ended; });
        if (ended == slots_.end()) {
            changed_.wait(lock);
            continue;
        }
        std::unique_ptr<Slot> slot = std::move(*ended);
        slots_.erase(ended);
        lock.unlock();
        slot->thread.join();
        if (onEnded) {
            onEnded();
        }
        lock.lock();
        --count;
    }
}

uint32_t WorkerThreadTable::Size() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint32_t>(slots_.size());
}

}  // namespace tarvu
