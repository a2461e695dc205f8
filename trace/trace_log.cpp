#include "trace/trace_log.h"

#include "platform/debug_output.h"

#include <chrono>
#include <utility>

namespace tarvu {

TraceLog::TraceLog(TraceBuffer* buffer, LineListener listener, Clock clock)
    : buffer_(buffer), listener_(std::move(listener)), clock_(std::move(clock)) {
}

int TraceLog::TraceData(const TraceBlock& block) {
    // Only the record sinks need the moment (the line's own time is local time).
    const auto when =
        sinks_.empty() ? std::chrono::system_clock::time_point{} : std::chrono::system_clock::now();
    const LocalTime time = block.stage == 0 && clock_ ? clock_() : LocalTime{};
    // One buffer per thread, reused: a flood formats two lines per datagram. Nothing called
    // below traces again on this thread.
    thread_local std::string line;
    line.clear();
    AppendTraceLine(line, block, time);
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
    for (RecordSink* sink : sinks_) {
        sink->Record(block, line, when);
    }
    return 1;
}

void TraceLog::TraceNote(const std::string& text) {
    if (text.empty()) {
        return;
    }
    const auto when = std::chrono::system_clock::now();
    OutputDebugString(text);
    if (buffer_ != nullptr) {
        buffer_->Append(text);
    }
    if (listener_) {
        listener_(text);
    }
    TraceBlock note;
    note.stage = 1;
    for (RecordSink* sink : sinks_) {
        sink->Record(note, text, when);
    }
}

void TraceLog::AddRecordSink(RecordSink* sink) {
    if (sink != nullptr) {
        sinks_.push_back(sink);
    }
}

}  // namespace tarvu
