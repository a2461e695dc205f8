#include "app/cli/trace_output.h"

#include <string>
#include <utility>

namespace tarvu::cli {
namespace {

// How long one wait for room in the output lasts before the writer looks whether to give up.
constexpr int kPollMs = 20;

}  // namespace

TraceOutput::TraceOutput(int fd, size_t capacityBytes, std::function<void()> onClosed)
    : output_(fd), capacity_(capacityBytes), onClosed_(std::move(onClosed)) {
    thread_ = std::thread([this] { Run(); });
}

TraceOutput::~TraceOutput() {
    GiveUp();
}

void TraceOutput::Append(const std::string& line) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (givingUp_ || closed_ || queuedBytes_ + line.size() > capacity_) {
            ++lost_;
            return;
        }
        queuedBytes_ += line.size();
        queue_.push_back(line);
    }
    changed_.notify_all();
}

size_t TraceOutput::Finish(const std::function<bool()>& stopRequested,
                           std::chrono::milliseconds grace) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kSlice = std::chrono::milliseconds(5);
    bool stopSeen = false;
    Clock::time_point deadline;
    std::unique_lock<std::mutex> lock(mutex_);
    finishing_ = true;
    changed_.notify_all();
    while (!queue_.empty() || writing_) {
        if (!stopSeen && stopRequested && stopRequested()) {
            stopSeen = true;
            deadline = Clock::now() + grace;
        }
        if (stopSeen && Clock::now() >= deadline) {
            break;
        }
        changed_.wait_for(lock, kSlice);
    }
    lock.unlock();
    GiveUp();
    lock.lock();
    return lost_;
}

void TraceOutput::GiveUp() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        givingUp_ = true;
    }
    changed_.notify_all();
    output_.Interrupt();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TraceOutput::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return givingUp_ || finishing_ || !queue_.empty(); });
        if (givingUp_ || (queue_.empty() && finishing_)) {
            break;
        }
        if (queue_.empty()) {
            continue;
        }
        std::string line = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= line.size();
        writing_ = true;
        lock.unlock();
        const bool written = WriteLine(line);
        lock.lock();
        writing_ = false;
        lost_ += written ? 0 : 1;
        changed_.notify_all();
    }
    lost_ += queue_.size();
    queue_.clear();
    queuedBytes_ = 0;
}

bool TraceOutput::WriteLine(const std::string& line) {
    size_t done = 0;
    while (done < line.size()) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (givingUp_ || closed_) {
                return false;
            }
        }
        const long n = output_.WriteSome(line.data() + done, line.size() - done, kPollMs);
        if (n == kOutputClosed) {
            if (!closed_.exchange(true) && onClosed_) {
                onClosed_();
            }
            return false;
        }
        if (n < 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace tarvu::cli
