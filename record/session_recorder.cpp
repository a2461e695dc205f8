#include "record/session_recorder.h"

#include "record/wire_datagrams.h"

#include <utility>

namespace tarvu {
namespace {

// A sent packet waits this long for its coded frame before it goes to the capture as it is.
constexpr auto kHeldSendTimeout = std::chrono::milliseconds(50);
// Under a flood the writer is not woken per block (each wake-up takes a core from the worker)
// but takes what came every this often; a batch this large or larger counts as a flood.
constexpr auto kFloodTick = std::chrono::milliseconds(5);
constexpr size_t kFloodBatch = 4;

int64_t Microseconds(std::chrono::system_clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
}

}  // namespace

SessionRecorder::SessionRecorder(ErrorHandler onError, size_t maxQueuedBytes)
    : onError_(std::move(onError)), maxQueuedBytes_(maxQueuedBytes) {
}

SessionRecorder::~SessionRecorder() {
    Stop();
}

bool SessionRecorder::OpenLog(const std::string& path, std::string& error) {
    logOn_ = log_.Open(path, error);
    logPath_ = path;
    return logOn_;
}

bool SessionRecorder::OpenCapture(const std::string& path, std::string& error) {
    captureOn_ = capture_.Open(path, error);
    capturePath_ = path;
    return captureOn_;
}

void SessionRecorder::Start(const SessionSettings& settings, uint32_t localAddress,
                            uint16_t localPort) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (started_ || stopped_) {
        return;
    }
    header_ = FormatSessionHeader(settings, std::chrono::system_clock::now());
    localAddress_ = localAddress;
    localPort_ = localPort;
    started_ = true;
    writer_ = std::thread([this] { WriterLoop(); });
}

void SessionRecorder::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) {
            return;
        }
        stopped_ = true;
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) {
        writer_.join();
    }
    log_.Close();
    capture_.Close();
}

void SessionRecorder::Record(const TraceBlock& block, const std::string& line,
                             std::chrono::system_clock::time_point when) {
    const bool capture = captureOn_.load(std::memory_order_relaxed);
    const bool logging = logOn_.load(std::memory_order_relaxed);
    if (!capture && !logging) {
        return;
    }
    SessionEvent event;
    event.microseconds = Microseconds(when);
    event.direction = block.direction;
    event.stage = block.stage;
    event.address = block.address;
    event.port = block.port;
    if (capture && portSource_) {
        event.localPort = portSource_();
    }
    if (capture && block.data != nullptr) {
        event.bytes.assign(block.data, block.data + block.length);
    }
    if (logging) {
        event.line = line;
    }
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) {
            return;
        }
        const bool continuation = block.stage != 0;
        const bool drop =
            continuation ? dropping_ : queuedBytes_ + event.Footprint() > maxQueuedBytes_;
        if (!continuation) {
            dropping_ = drop;
        }
        if (drop) {
            dropped_.logLines += logging ? 1 : 0;
            dropped_.captureDatagrams += capture && !continuation ? 1 : 0;
            return;
        }
        queuedBytes_ += event.Footprint();
        queue_.push_back(std::move(event));
        // A busy writer takes this block with its next batch; waking it costs a system call.
        wake = writerWaiting_;
        writerWaiting_ = false;
    }
    if (wake) {
        wake_.notify_one();
    }
}

SessionRecorder::Drops SessionRecorder::Dropped() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

std::vector<std::string> SessionRecorder::DropReport() const {
    const Drops drops = Dropped();
    std::vector<std::string> lines;
    if (drops.logLines != 0) {
        lines.push_back(logPath_ + ": " + std::to_string(drops.logLines) +
                        " lines dropped: the disk did not keep up");
    }
    if (drops.captureDatagrams != 0) {
        lines.push_back(capturePath_ + ": " + std::to_string(drops.captureDatagrams) +
                        " datagrams dropped: the disk did not keep up");
    }
    return lines;
}

std::string SessionRecorder::DropNotice() const {
    std::string files;
    if (dropped_.logLines != 0) {
        files = logPath_;
    }
    if (dropped_.captureDatagrams != 0) {
        files += (files.empty() ? "" : " and ") + capturePath_;
    }
    return files + ": the disk does not keep up with the session; blocks are being dropped" +
           (dropped_.logLines != 0 ? " (the log file notes how many lines)" : "");
}

void SessionRecorder::WriterLoop() {
    std::string error;
    if (log_.IsOpen() && !log_.Write(header_, error)) {
        Fail(error, true);
    }
    WireDatagrams wire([this](const SessionEvent& datagram) { WriteDatagram(datagram); });
    std::deque<SessionEvent> batch;
    bool flood = false;
    auto lastBlock = std::chrono::steady_clock::now();
    for (;;) {
        uint64_t dropped = 0;
        std::string notice;
        bool ending = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            const auto ready = [this] { return stopping_ || !queue_.empty(); };
            if (flood) {
                // Not notifiable: only Stop wakes it before the tick.
                wake_.wait_for(lock, kFloodTick, [this] { return stopping_; });
            } else if (!ready()) {
                writerWaiting_ = true;
                if (wire.Holding()) {
                    wake_.wait_for(lock, kHeldSendTimeout, ready);
                } else {
                    wake_.wait(lock, ready);
                }
                writerWaiting_ = false;
            }
            batch.swap(queue_);
            queuedBytes_ = 0;
            flood = batch.size() >= kFloodBatch;
            dropped = dropped_.logLines - droppedLinesNoted_;
            droppedLinesNoted_ = dropped_.logLines;
            if (!dropNoticeGiven_ && (dropped_.logLines != 0 || dropped_.captureDatagrams != 0)) {
                dropNoticeGiven_ = true;
                notice = DropNotice();
            }
            ending = stopping_ && batch.empty();
        }
        if (!notice.empty() && onError_) {
            onError_(notice);
        }
        if (batch.empty() && !ending) {
            if (std::chrono::steady_clock::now() - lastBlock >= kHeldSendTimeout) {
                wire.Flush();  // no coded frame followed the held packet
                FlushCapture();
            }
            continue;
        }
        lastBlock = std::chrono::steady_clock::now();
        WriteBatch(batch, dropped);
        if (capture_.IsOpen()) {
            for (SessionEvent& event : batch) {
                wire.Feed(std::move(event));
            }
            FlushCapture();
        }
        batch.clear();
        if (ending) {
            wire.Flush();
            FlushCapture();
            return;
        }
    }
}

void SessionRecorder::WriteBatch(std::deque<SessionEvent>& batch, uint64_t dropped) {
    if (!log_.IsOpen()) {
        return;
    }
    // Whole lines only, one write per chunk: appends of two processes interleave by lines.
    std::string chunk;
    if (dropped != 0) {
        chunk = "# " + std::to_string(dropped) + " lines dropped: the disk did not keep up\n";
    }
    std::string error;
    for (const SessionEvent& event : batch) {
        chunk += event.line;
        if (chunk.size() >= 64 * 1024) {
            if (!log_.Write(chunk, error)) {
                Fail(error, true);
                return;
            }
            chunk.clear();
        }
    }
    if (!chunk.empty() && !log_.Write(chunk, error)) {
        Fail(error, true);
    }
}

void SessionRecorder::WriteDatagram(const SessionEvent& event) {
    if (!capture_.IsOpen()) {
        return;
    }
    const uint16_t local = portSource_ ? event.localPort : localPort_;
    UdpEndpoints endpoints;
    if (event.direction == 0) {
        endpoints = {event.address, event.port, localAddress_, local};
    } else {
        endpoints = {localAddress_, local, event.address, event.port};
    }
    std::string error;
    if (!capture_.Write(event.microseconds, endpoints, event.bytes, error, false)) {
        Fail(error, false);
    }
}

void SessionRecorder::FlushCapture() {
    std::string error;
    if (capture_.IsOpen() && !capture_.Flush(error)) {
        Fail(error, false);
    }
}

void SessionRecorder::Fail(const std::string& message, bool log) {
    if (log) {
        logOn_ = false;
        log_.Close();
    } else {
        captureOn_ = false;
        capture_.Close();
    }
    if (onError_) {
        onError_(message + (log ? "; the session goes on without the log file"
                                : "; the session goes on without the capture file"));
    }
}

}  // namespace tarvu
