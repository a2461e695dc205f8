#include "trace/trace_intake.h"

#include <algorithm>

namespace tarvu {

bool TraceIntake::Post(std::string piece) {
    const std::lock_guard<std::mutex> lock(pendingMutex_);
    const bool first = pending_.empty();
    pending_.push_back(std::move(piece));
    return first;
}

TraceIntake::Taken TraceIntake::Take() {
    std::vector<std::string> batch;
    {
        const std::lock_guard<std::mutex> lock(pendingMutex_);
        batch.swap(pending_);
    }
    Taken taken;
    if (batch.empty()) {
        return taken;
    }
    taken.any = true;
    const bool wasOpen = openLine_;
    for (const std::string& piece : batch) {
        taken.lineEnds += static_cast<uint64_t>(std::count(piece.begin(), piece.end(), '\n'));
        if (!piece.empty()) {
            openLine_ = piece.back() != '\n';
        }
    }
    buffer_.AppendMany(batch);
    linesTaken_ += taken.lineEnds;
    taken.rewrite = wasOpen || openLine_;
    return taken;
}

void TraceIntake::Clear() {
    {
        const std::lock_guard<std::mutex> lock(pendingMutex_);
        pending_.clear();
    }
    buffer_.Clear();
    openLine_ = false;
}

}  // namespace tarvu
