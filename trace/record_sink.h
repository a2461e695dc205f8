#pragma once
// Receives every traced block with its finished line, for the session record (log file,
// capture file, the dialog's whole-session store). Called on the thread that traced the block,
// so an implementation must only queue and return.

#include "trace/trace_line.h"

#include <chrono>
#include <string>

namespace tarvu {

class RecordSink {
public:
    virtual ~RecordSink() = default;
    // `when` is the wall-clock moment the block was traced; `line` ends in "\n".
    virtual void Record(const TraceBlock& block, const std::string& line,
                        std::chrono::system_clock::time_point when) = 0;
};

}  // namespace tarvu
