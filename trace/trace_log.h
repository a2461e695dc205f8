#pragma once
// The application's trace: formats each traced block, writes the line to the debug sink,
// appends it to an optional trace buffer and hands it to a listener (the command line prints
// it, the dialog posts it to its own thread). The application's TraceData callback calls it.

#include "link/engine_config.h"
#include "platform/local_time.h"
#include "trace/record_sink.h"
#include "trace/trace_buffer.h"
#include "trace/trace_line.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tarvu {

class TraceLog {
public:
    // Called with each finished line (ending in "\n") on the thread that traced the block.
    using LineListener = std::function<void(const std::string& line)>;
    using Clock = std::function<LocalTime()>;
    // Appends to a block's line the lines that explain it; they travel with it as one piece.
    using Annotator = std::function<void(const TraceBlock& block, std::string& text)>;

    // `buffer` may be null and is not owned; it must outlive this object.
    explicit TraceLog(TraceBuffer* buffer, LineListener listener = {}, Clock clock = &GetLocalTime);

    // Always 1 (the engine ignores the result).
    int TraceData(const TraceBlock& block);
    // A line of its own that belongs to no block (lines ending in "\n"): to the debug sink,
    // the buffer, the listener, and the record sinks as a received continuation line without
    // bytes, so that a log keeps it and a capture, which keeps only what was on the wire,
    // does not.
    void TraceNote(const std::string& text);

    // Set before the engine can trace.
    void SetAnnotator(Annotator annotator) { annotator_ = std::move(annotator); }
    // Adds a receiver of every block and line. Not thread-safe: add sinks before the engine
    // can trace; they must outlive this object or its last call.
    void AddRecordSink(RecordSink* sink);

private:
    TraceBuffer* buffer_;
    LineListener listener_;
    Clock clock_;
    Annotator annotator_;
    std::vector<RecordSink*> sinks_;
};

}  // namespace tarvu
