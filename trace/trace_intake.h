#pragma once
// Trace lines handed over from any thread and taken into the 200-line buffer on the thread
// that shows them: the part of a trace field that is the same in every front end.

#include "trace/trace_buffer.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tarvu {

class TraceIntake {
public:
    // What one Take brought in.
    struct Taken {
        bool any = false;       // something was waiting
        uint64_t lineEnds = 0;  // line ends among it
        // A line was left open before or after: the field is best rewritten whole.
        bool rewrite = false;
    };

    // Queues a piece (a finished line with its "\n", or part of one). Thread-safe; true when
    // the queue was empty, so that only the first piece wakes the showing thread.
    bool Post(std::string piece);
    // Moves every waiting piece into the buffer. Called by the showing thread.
    Taken Take();
    // Drops the waiting pieces and empties the buffer: a piece posted before the clear never
    // shows after it.
    void Clear();

    const TraceBuffer& Buffer() const { return buffer_; }
    // The buffer ends in a line without its line end: the next piece continues it.
    bool OpenLine() const { return openLine_; }
    // Line ends taken into the buffer since construction: every posted line counts.
    uint64_t LinesTaken() const { return linesTaken_; }

private:
    std::mutex pendingMutex_;
    std::vector<std::string> pending_;  // guarded by pendingMutex_
    TraceBuffer buffer_;
    bool openLine_ = false;
    uint64_t linesTaken_ = 0;
};

}  // namespace tarvu
