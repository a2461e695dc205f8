#pragma once
// Writes the session as it happens: every trace line to a log file, every UDP datagram to a
// capture file. The engine's worker only queues a copy of the block; a writer thread of its own
// does the file work, so a slow disk never holds the worker longer than taking a lock.
//
// A file that fails while the session runs (full disk, lost device) is reported once and
// closed; the session and the other file go on. When the writer falls too far behind, blocks
// are dropped: the first drop is reported once, the log notes how many lines it lost, and the
// counts for each file are there at the end (DropReport).

#include "record/capture_file.h"
#include "record/log_file.h"
#include "record/session_event.h"
#include "record/session_header.h"
#include "trace/record_sink.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvu {

class SessionRecorder : public RecordSink {
public:
    // Called on the writer thread with a message for the user.
    using ErrorHandler = std::function<void(const std::string& message)>;
    // Beyond this many queued bytes (the disk far behind), blocks are dropped and counted.
    static constexpr size_t kMaxQueuedBytes = 64u << 20;

    explicit SessionRecorder(ErrorHandler onError, size_t maxQueuedBytes = kMaxQueuedBytes);
    ~SessionRecorder() override;
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // Open before the engine runs. False with `error` set; the recorder then runs without it.
    bool OpenLog(const std::string& path, std::string& error);
    bool OpenCapture(const std::string& path, std::string& error);

    // Where this side's port comes from while the session runs (the dialog's read port may
    // change); without it the port given to Start stands. Set before Start; called on the
    // tracing thread, so it must be quick and thread-safe.
    void SetLocalPortSource(std::function<uint16_t()> source) { portSource_ = std::move(source); }

    // Writes the log's header line and starts writing what was queued and what comes.
    // `localAddress` (network byte order) and `localPort` stand for this side in the capture.
    void Start(const SessionSettings& settings, uint32_t localAddress, uint16_t localPort);
    // Writes everything queued so far and ends the writer. Call once the engine can no longer
    // trace (channel closed); later blocks are dropped.
    void Stop();

    void Record(const TraceBlock& block, const std::string& line,
                std::chrono::system_clock::time_point when) override;

    // What each file lost because the writer fell more than the bound behind. A block's
    // continuation lines (coded or decoded frames) share its fate, so a datagram is never
    // split: the log counts lines, the capture datagrams.
    struct Drops {
        uint64_t logLines = 0;
        uint64_t captureDatagrams = 0;
    };
    Drops Dropped() const;
    // One line per file that lost anything: "PATH: N lines dropped: the disk did not keep up"
    // (log), "PATH: N datagrams dropped: the disk did not keep up" (capture).
    std::vector<std::string> DropReport() const;

private:
    void WriterLoop();
    void WriteBatch(std::deque<SessionEvent>& batch, uint64_t dropped);
    void WriteDatagram(const SessionEvent& event);
    void FlushCapture();
    void Fail(const std::string& message, bool log);
    std::string DropNotice() const;

    ErrorHandler onError_;
    const size_t maxQueuedBytes_;
    LogFile log_;
    CaptureFile capture_;
    // What the worker reads to decide whether to queue at all; the writer clears them.
    std::atomic<bool> logOn_{false};
    std::atomic<bool> captureOn_{false};
    std::string logPath_;
    std::string capturePath_;
    std::string header_;
    uint32_t localAddress_ = 0;
    uint16_t localPort_ = 0;
    std::function<uint16_t()> portSource_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<SessionEvent> queue_;
    size_t queuedBytes_ = 0;
    Drops dropped_;
    uint64_t droppedLinesNoted_ = 0;  // lines the log has been told of
    bool dropping_ = false;           // the last block was dropped: so go its continuations
    bool dropNoticeGiven_ = false;
    bool writerWaiting_ = false;  // the writer sleeps on wake_; only then is it notified
    bool started_ = false;
    bool stopping_ = false;
    bool stopped_ = false;
    std::thread writer_;
};

}  // namespace tarvu
