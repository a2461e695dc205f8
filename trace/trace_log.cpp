#include "trace/trace_log.h"

#include "platform/debug_output.h"

#include <atomic>
#include <chrono>
#include <utility>

namespace tarvu {
namespace {

std::atomic<TraceLog*> installedLog{nullptr};

}  // namespace

TraceLog::TraceLog(TraceBuffer* buffer, LineListener listener, Clock clock)
    : buffer_(buffer), listener_(std::move(listener)), clock_(std::move(clock)) {
}

int TraceLog::TraceData(const TraceBlock& block) {
    const auto when = std::chrono::system_clock::now();
    const LocalTime time = block.stage == 0 && clock_ ? clock_() : LocalTime{};
    const std::string line = FormatTraceLine(block, time);
    OutputDebugString(line);
    if (buffer_ != nullptr) {
        buffer_->Append(line);
    }
    if (listener_) {
        listener_(line);
    }
    for (RecordSink* sink : sinks_) {
        sink->Record(block, line, when);
    }
    return 1;
}

void TraceLog::AddRecordSink(RecordSink* sink) {
    if (sink != nullptr) {
        sinks_.push_back(sink);
    }
}

void InstallTraceLog(TraceLog* log) {
    installedLog.store(log, std::memory_order_release);
}

int TraceData(const LinkChannel* /*channel*/, const uint8_t* data, uint32_t length, int direction,
              const nsAddress* peer, uint32_t port, int stage) {
    TraceLog* log = installedLog.load(std::memory_order_acquire);
    if (log == nullptr) {
        return 1;
    }
    const TraceBlock block =
        MakeTraceBlock(data, length, direction, peer != nullptr ? peer->address : 0, port, stage);
    return log->TraceData(block);
}

}  // namespace tarvu
