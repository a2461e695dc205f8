#pragma once
// What a session has seen so far, taken from the trace events: datagrams and bytes each way,
// frames cut from the received stream and the bytes that never made it into one, how fast
// replies came and from which senders; and, when decoding is on, the lines that explain each
// traced block (decoded fields, reply time, a sender other than the destination).
//
// Reply time is the time from the last packet sent to the address and port a datagram came
// from (or, when none went there, to the destination) to the moment the datagram is traced.

#include "trace/reply_histogram.h"
#include "trace/trace_line.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tarvu {

struct SessionFigures {
    uint64_t datagramsSent = 0;
    uint64_t bytesSent = 0;  // as they left: the coded frame when frame coding was on
    uint64_t datagramsReceived = 0;
    uint64_t bytesReceived = 0;
    uint64_t framesDecoded = 0;
    // Bytes fed to the frame decoder that lie in no completed frame and wait in no open one.
    uint64_t bytesDropped = 0;
    uint64_t replies = 0;  // received datagrams with a reply time
    uint32_t replyMinMs = 0;
    uint32_t replyMedianMs = 0;
    uint32_t replyMaxMs = 0;
    // Distinct address:port pairs that sent datagrams (blocks without an address, as a serial
    // line delivers them, are not counted).
    uint64_t sendersSeen = 0;
    uint64_t newSenders = 0;  // those of them that were not the destination when they sent
};

// The figures as lines ("sent: 3 datagrams, 15 bytes" ...), each ending in "\n".
std::string FormatSessionFigures(const SessionFigures& figures);

// What the engine's controls said when a block was traced.
struct TraceContext {
    bool substitution = false;        // received datagrams are cut into frames
    uint32_t destinationAddress = 0;  // network byte order
    uint16_t destinationPort = 0;
};

class SessionTracker {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Senders remembered for "new sender"; beyond this many, further ones are not counted.
    static constexpr size_t kMaxSenders = 65536;
    // Reply times are kept per millisecond up to this value; longer ones count as this.
    static constexpr uint32_t kReplyBuckets = ReplyHistogram::kBuckets;

    explicit SessionTracker(Clock clock = &std::chrono::steady_clock::now);

    // Decoded lines on or off; any thread, takes effect with the next block.
    void SetDecode(bool on) { decode_.store(on, std::memory_order_relaxed); }
    bool Decode() const { return decode_.load(std::memory_order_relaxed); }

    // Takes note of one traced block (in the order the engine traces them) and, with
    // decoding on, appends the lines that explain it to `text`.
    void Observe(const TraceBlock& block, const TraceContext& context, std::string& text);

    // Any thread.
    SessionFigures Figures() const;

private:
    using Key = uint64_t;  // address << 16 | port
    static Key MakeKey(uint32_t address, uint16_t port) { return (Key{address} << 16) | port; }

    void ObserveSent(const TraceBlock& block, bool decode, std::string& text);
    void ObserveReceived(const TraceBlock& block, const TraceContext& context, bool decode,
                         std::string& text);
    std::optional<uint32_t> ReplyTime(Key sender, Key destination,
                                      std::chrono::steady_clock::time_point now) const;
    void CountDropped(const uint8_t* data, size_t length);

    Clock clock_;
    std::atomic<bool> decode_{false};

    mutable std::mutex mutex_;
    SessionFigures counts_;  // all but the reply figures and bytesDropped
    uint64_t lastSentLength_ = 0;
    std::unordered_map<Key, std::chrono::steady_clock::time_point> lastSent_;
    std::unordered_set<Key> senders_;
    std::optional<uint32_t> lastReply_;  // of the datagram the next frames come from
    ReplyHistogram replies_;
    // A shadow of the frame decoder's span counting, for the dropped bytes.
    uint16_t frameCount_ = 0xFFFF;
    uint64_t fedBytes_ = 0;
    uint64_t framedBytes_ = 0;
};

}  // namespace tarvu
