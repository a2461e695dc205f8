#pragma once
// The dialog's whole session, kept so it can be saved as a log file or a capture file: every
// traced block since the start or the last "Clear trace", not only the lines the field shows.
//
// Bounded by count and bytes: beyond either bound the oldest blocks go first, and a saved log
// says how many lines were dropped. Appending costs the worker one short lock.

#include "record/session_event.h"
#include "record/session_header.h"
#include "trace/record_sink.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarvu {

class SessionStore : public RecordSink {
public:
    // About a day of a converter polled every second; reached in 10 s by a 10,000/s flood.
    static constexpr size_t kDefaultMaxEvents = 100000;
    static constexpr size_t kDefaultMaxBytes = 24u << 20;

    explicit SessionStore(size_t maxEvents = kDefaultMaxEvents, size_t maxBytes = kDefaultMaxBytes);

    // This side's port at trace time (the dialog's read port); set before the engine traces.
    // Called on the tracing thread, so it must be quick and thread-safe.
    void SetLocalPortSource(std::function<uint16_t()> source) { portSource_ = std::move(source); }

    void Record(const TraceBlock& block, const std::string& line,
                std::chrono::system_clock::time_point when) override;

    // Forgets everything kept (the "Clear trace" button), dropped count included.
    void Clear();

    struct Contents {
        std::vector<SessionEvent> events;
        uint64_t dropped = 0;  // oldest blocks pushed out by the bounds
    };
    Contents Snapshot() const;
    size_t Size() const;
    size_t Bytes() const;
    // Blocks pushed out by the bounds since the start or the last Clear: not 0 once the store
    // is full.
    uint64_t Dropped() const;

    // Writes (replacing) a log file: the header line, a "# N lines dropped" note when the
    // bounds dropped some, then every kept line. False with `error` set.
    bool SaveLog(const std::string& path, const SessionSettings& settings,
                 std::string& error) const;
    // Writes (replacing) a capture file of every kept UDP datagram as it was on the wire;
    // `localPort` stands for this side where no port source was set.
    bool SaveCapture(const std::string& path, uint32_t localAddress, uint16_t localPort,
                     std::string& error) const;

private:
    const size_t maxEvents_;
    const size_t maxBytes_;
    std::function<uint16_t()> portSource_;
    mutable std::mutex mutex_;
    std::deque<SessionEvent> events_;
    size_t bytes_ = 0;
    uint64_t dropped_ = 0;
};

}  // namespace tarvu
