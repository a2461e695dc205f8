#include "trace/trace_log.h"

#include "platform/debug_output.h"

#include <utility>

namespace tarvu {

TraceLog::TraceLog(TraceBuffer* buffer, LineListener listener, Clock clock)
    : buffer_(buffer), listener_(std::move(listener)), clock_(std::move(clock)) {
}

int TraceLog::TraceData(const TraceBlock& block) {
    const LocalTime time = block.stage == 0 && clock_ ? clock_() : LocalTime{};
    std::string line = FormatTraceLine(block, time);
    if (annotator_) {
        annotator_(block, line);
    }
    OutputDebugString(line);
    if (buffer_ != nullptr) {
        buffer_->Append(line);
    }
    if (listener_) {
        listener_(line);
    }
    return 1;
}

}  // namespace tarvu
