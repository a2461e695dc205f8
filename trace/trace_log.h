#pragma once
// The application's trace: formats each traced block, writes the line to the debug sink,
// appends it to an optional trace buffer and hands it to a listener (the command line prints
// it, the dialog posts it to its own thread). The application's TraceData callback calls it.

#include "link/engine_config.h"
#include "platform/local_time.h"
#include "trace/trace_buffer.h"
#include "trace/trace_line.h"

#include <functional>
#include <string>
#include <utility>

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

    // Set before the engine can trace.
    void SetAnnotator(Annotator annotator) { annotator_ = std::move(annotator); }

private:
    TraceBuffer* buffer_;
    LineListener listener_;
    Clock clock_;
    Annotator annotator_;
};

}  // namespace tarvu
