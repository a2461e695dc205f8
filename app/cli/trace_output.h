#pragma once
// Trace lines on their way to standard output. The engine's worker hands each line over and
// goes on at once; a writer thread of its own writes them, in order, without ever blocking for
// long: a terminal or pipe that stops taking output (nobody reads it, a suspended pager) holds
// up only the writer, and at the end of a session that was asked to stop the lines it could not
// write are counted instead of waited for.

#include "platform/output_stream.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tarvu::cli {

class TraceOutput {
public:
    // Writes to `fd` (not taken over). Lines beyond `capacityBytes` waiting to be written are
    // dropped and counted. `onClosed` runs once, on the writer thread, when the output's
    // reader has gone; from then on every line counts as not written.
    explicit TraceOutput(int fd, size_t capacityBytes = kDefaultCapacity,
                         std::function<void()> onClosed = {});
    // Gives up on what is still queued (as Finish does after its grace) and joins the writer.
    ~TraceOutput();
    TraceOutput(const TraceOutput&) = delete;
    TraceOutput& operator=(const TraceOutput&) = delete;

    // Any thread; never waits for the output.
    void Append(const std::string& line);

    // Waits until every line handed over has been written. Once `stopRequested` is true the
    // wait lasts at most `grace` more; lines still unwritten then are given up. Returns the
    // number of lines not written (dropped on a full queue, given up, or refused by the
    // output), each counted once; a line cut off in the middle counts as not written.
    size_t Finish(const std::function<bool()>& stopRequested, std::chrono::milliseconds grace);

    // True once the output's reader has gone.
    bool OutputClosed() const { return closed_.load(); }

    static constexpr size_t kDefaultCapacity = size_t{4} << 20;

private:
    void Run();
    // Writes all of `line`; false when the output refused it or the writer was told to give up.
    bool WriteLine(const std::string& line);
    void GiveUp();

    OutputStream output_;
    const size_t capacity_;
    const std::function<void()> onClosed_;
    std::atomic<bool> closed_{false};

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queue_;
    size_t queuedBytes_ = 0;
    bool writing_ = false;    // the writer holds a line taken from the queue
    bool finishing_ = false;  // the writer ends once the queue is empty
    bool givingUp_ = false;   // the writer ends at once; what is left is counted
    size_t lost_ = 0;
    std::thread thread_;
};

}  // namespace tarvu::cli
