#include "app/cli/trace_output.h"

#include <algorithm>
#include <string>
#include <utility>

namespace tarvu::cli {
namespace {

// How long one wait for room in the output lasts before the writer looks whether to give up.
constexpr int kPollMs = 20;
// A batch this large or larger counts as a flood: the writer then takes the next batch after
// this tick instead of being woken by the next line.
constexpr size_t kFloodLines = 16;
constexpr auto kFloodTick = std::chrono::milliseconds(5);

}  // namespace

TraceOutput::TraceOutput(int fd, size_t capacityBytes, std::function<void()> onClosed)
    : output_(fd), capacity_(capacityBytes), onClosed_(std::move(onClosed)) {
    thread_ = std::thread([this] { Run(); });
}

TraceOutput::~TraceOutput() {
    GiveUp();
}

void TraceOutput::Append(const std::string& line) {
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (givingUp_ || closed_ || queued_.size() + line.size() > capacity_) {
            ++lost_;
            return;
        }
        queued_ += line;
        queuedEnds_.push_back(queued_.size());
        // A busy writer takes this line with its next batch; waking it costs a system call.
        wake = writerWaiting_;
        writerWaiting_ = false;
    }
    if (wake) {
        changed_.notify_all();
    }
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
    while (!queuedEnds_.empty() || writing_) {
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
    std::string batch;
    std::vector<size_t> ends;
    bool flood = false;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (flood) {
            // Not woken by lines: only the end of the session cuts the tick short.
            changed_.wait_for(lock, kFloodTick, [this] { return givingUp_ || finishing_; });
        }
        writerWaiting_ = true;
        changed_.wait(lock, [this] { return givingUp_ || finishing_ || !queuedEnds_.empty(); });
        writerWaiting_ = false;
        if (givingUp_ || (queuedEnds_.empty() && finishing_)) {
            break;
        }
        batch.swap(queued_);
        ends.swap(queuedEnds_);
        flood = ends.size() >= kFloodLines;
        writing_ = true;
        lock.unlock();
        const size_t whole = WriteBatch(batch, ends);
        lock.lock();
        writing_ = false;
        lost_ += ends.size() - whole;
        // The emptied buffers go back to the queue, which keeps their room.
        batch.clear();
        ends.clear();
        if (queuedEnds_.empty()) {
            queued_.swap(batch);
            queuedEnds_.swap(ends);
        }
        changed_.notify_all();
    }
    lost_ += queuedEnds_.size();
    queued_.clear();
    queuedEnds_.clear();
}

size_t TraceOutput::WriteBatch(const std::string& batch, const std::vector<size_t>& ends) {
    size_t done = 0;
    while (done < batch.size()) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (givingUp_ || closed_) {
                break;
            }
        }
        const long n = output_.WriteSome(batch.data() + done, batch.size() - done, kPollMs);
        if (n == kOutputClosed) {
            if (!closed_.exchange(true) && onClosed_) {
                onClosed_();
            }
            break;
        }
        if (n < 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    // A line cut off in the middle counts as not written.
    return static_cast<size_t>(std::upper_bound(ends.begin(), ends.end(), done) - ends.begin());
}

}  // namespace tarvu::cli
