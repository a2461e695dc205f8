#pragma once
// The application's trace: formats each traced block, writes the line to the debug sink,
// appends it to the trace buffer and hands it to a listener (the command line prints it, the
// dialog posts it to its own thread). Installed behind the engine's TraceData callback.

#include "link/engine_config.h"
#include "platform/local_time.h"
#include "trace/record_sink.h"
#include "trace/trace_buffer.h"
#include "trace/trace_line.h"

#include <functional>
#include <string>
#include <vector>

namespace tarvu {

class TraceLog {
public:
    // Called with each finished line (ending in "\n") on the thread that traced the block.
    using LineListener = std::function<void(const std::string& line)>;
    using Clock = std::function<LocalTime()>;

    // `buffer` may be null and is not owned; it must outlive this object.
    explicit TraceLog(TraceBuffer* buffer, LineListener listener = {}, Clock clock = &GetLocalTime);

    // Always 1 (the engine ignores the result).
    int TraceData(const TraceBlock& block);

    // Adds a receiver of every block and line. Not thread-safe: add sinks before the engine
    // can trace; they must outlive this object or its last call.
    void AddRecordSink(RecordSink* sink);

private:
    TraceBuffer* buffer_;
    LineListener listener_;
    Clock clock_;
    std::vector<RecordSink*> sinks_;
};

// The engine's callbacks reach the installed log; null uninstalls. Uninstall only once the
// engine can no longer call (its channels closed), since a running call keeps using the log.
void InstallTraceLog(TraceLog* log);

// Matches TraceDataFn. Only the low 16 bits of `port` are used; with no log installed the
// block is dropped. Always returns 1.
int TraceData(const LinkChannel* channel, const uint8_t* data, uint32_t length, int direction,
              const nsAddress* peer, uint32_t port, int stage);

}  // namespace tarvu
