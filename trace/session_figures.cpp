#include "trace/session_figures.h"

#include "link/frame_codec.h"
#include "trace/decoded_line.h"
#include "trace/receive_note_line.h"

#include <algorithm>
#include <span>
#include <utility>

namespace tarvu {
namespace {

uint32_t ClampMs(std::chrono::steady_clock::duration elapsed) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    if (ms < 0) {
        return 0;
    }
    return static_cast<uint32_t>(std::min<int64_t>(ms, UINT32_MAX));
}

}  // namespace

std::string FormatSessionFigures(const SessionFigures& f) {
    std::string text;
    text += "sent: " + std::to_string(f.datagramsSent) + " datagrams, " +
            std::to_string(f.bytesSent) + " bytes\n";
    text += "received: " + std::to_string(f.datagramsReceived) + " datagrams, " +
            std::to_string(f.bytesReceived) + " bytes\n";
    text += "dropped by the system: " +
            (f.systemDropsKnown ? std::to_string(f.droppedBySystem) + " datagrams" : "unknown") +
            ", cut: " + std::to_string(f.cut) + " datagrams\n";
    text += "frames decoded: " + std::to_string(f.framesDecoded) +
            ", bytes dropped: " + std::to_string(f.bytesDropped) + "\n";
    if (f.replies == 0) {
        text += "reply ms: count 0\n";
    } else {
        text += "reply ms: count " + std::to_string(f.replies) + ", min " +
                std::to_string(f.replyMinMs) + ", median " + std::to_string(f.replyMedianMs) +
                ", max " + std::to_string(f.replyMaxMs) + "\n";
    }
    text += "senders seen: " + std::to_string(f.sendersSeen) +
            ", new: " + std::to_string(f.newSenders) + "\n";
    return text;
}

std::string TraceIncompleteNote(const SessionFigures& f) {
    if (f.droppedBySystem == 0 && f.cut == 0) {
        return {};
    }
    // Appended piece by piece: GCC 12 at -O3 reports a false overlap (-Wrestrict) in
    // std::string for `" " + std::to_string(n)` (GCC bug 105329).
    std::string note = "the trace is incomplete:";
    if (f.droppedBySystem != 0) {
        note.append(" ").append(std::to_string(f.droppedBySystem)).append(" datagram");
        note.append(f.droppedBySystem == 1 ? "" : "s").append(" dropped by the system");
    }
    if (f.cut != 0) {
        note.append(f.droppedBySystem != 0 ? ", " : " ").append(std::to_string(f.cut));
        note.append(" datagram").append(f.cut == 1 ? "" : "s").append(" cut");
    }
    return note;
}

std::string FormatSessionFiguresWithNote(const SessionFigures& f) {
    std::string text = TraceIncompleteNote(f);
    if (!text.empty()) {
        text += "\n";
    }
    return text + FormatSessionFigures(f);
}

SessionTracker::SessionTracker(Clock clock, SystemClock systemClock)
    : clock_(std::move(clock)), systemClock_(std::move(systemClock)) {
}

int64_t SessionTracker::SystemMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void SessionTracker::Observe(const TraceBlock& block, const TraceContext& context,
                             std::string& text) {
    const bool decode = Decode();
    const std::lock_guard<std::mutex> lock(mutex_);
    if (block.direction != 0) {
        ObserveSent(block, decode, text);
    } else {
        ObserveReceived(block, context, decode, text);
    }
}

void SessionTracker::ObserveSent(const TraceBlock& block, bool decode, std::string& text) {
    if (block.stage != 0) {
        // The coded frame of the packet just traced is what left instead of the packet.
        counts_.bytesSent += block.length;
        counts_.bytesSent -= std::min(counts_.bytesSent, lastSentLength_);
        lastSentLength_ = 0;
        return;
    }
    ++counts_.datagramsSent;
    counts_.bytesSent += block.length;
    lastSentLength_ = block.length;
    lastSent_[MakeKey(block.address, block.port)] = clock_();
    if (decode) {
        AppendDecodedLine(text, {block.data, block.length});
    }
}

void SessionTracker::ObserveReceived(const TraceBlock& block, const TraceContext& context,
                                     bool decode, std::string& text) {
    if (block.stage != 0) {
        ++counts_.framesDecoded;
        if (decode) {
            AppendDecodedLine(text, {block.data, block.length}, lastReply_);
        }
        return;
    }
    // The block's line is all of `text` so far: the gap goes before it, the cut just after it.
    if (block.droppedBefore != 0) {
        counts_.droppedBySystem += block.droppedBefore;
        std::string gap;
        AppendDroppedLine(gap, block.droppedBefore);
        text.insert(0, gap);
    }
    if (block.wireLength > block.length) {
        ++counts_.cut;
        AppendCutLine(text, block.wireLength, block.length);
    }
    ++counts_.datagramsReceived;
    counts_.bytesReceived += block.length;
    const Key sender = MakeKey(block.address, block.port);
    const Key destination = MakeKey(context.destinationAddress, context.destinationPort);
    lastReply_ = ReplyTime(sender, destination, block);
    if (lastReply_) {
        replies_.Add(*lastReply_);
        ++counts_.replies;
    }
    if (context.substitution) {
        CountDropped(block.data, block.length);
    } else if (decode) {
        AppendDecodedLine(text, {block.data, block.length}, lastReply_);
    }
    // A serial line delivers without an address: there is no sender to tell apart.
    const bool addressed = block.address != 0 || block.port != 0;
    if (addressed && senders_.size() < kMaxSenders && senders_.insert(sender).second) {
        ++counts_.sendersSeen;
        if (sender != destination) {
            ++counts_.newSenders;
            if (decode) {
                AppendNewSenderLine(text, block.address, block.port);
            }
        }
    }
}

std::chrono::steady_clock::time_point SessionTracker::ArrivalTime(const TraceBlock& block) const {
    const auto now = clock_();
    if (block.receivedMicros == 0) {
        return now;
    }
    // The system tells the arrival by its own clock: how long ago that was moves the moment
    // onto the tracker's clock. A time in the future (a clock set back) counts as now.
    const int64_t age = std::max<int64_t>(systemClock_() - block.receivedMicros, 0);
    return now - std::chrono::microseconds(age);
}

std::string SessionTracker::ObserveDroppedAfterLast(uint64_t count) {
    std::string line;
    if (count == 0) {
        return line;
    }
    AppendDroppedLine(line, count, true);
    const std::lock_guard<std::mutex> lock(mutex_);
    counts_.droppedBySystem += count;
    return line;
}

std::optional<uint32_t> SessionTracker::ReplyTime(Key sender, Key destination,
                                                  const TraceBlock& block) const {
    auto sent = lastSent_.find(sender);
    if (sent == lastSent_.end()) {
        sent = lastSent_.find(destination);
    }
    if (sent == lastSent_.end()) {
        return std::nullopt;
    }
    return ClampMs(ArrivalTime(block) - sent->second);
}

void SessionTracker::CountDropped(const uint8_t* data, size_t length) {
    if (data == nullptr) {
        return;
    }
    // The decoder's own rule: a 0x7E opens a span, a 0x7F closes one of at most a ring's
    // worth of bytes; anything else outside a completed span is lost.
    fedBytes_ += length;
    // Only 0x7E and 0x7F change anything but the count, so the bytes between them are counted
    // in one step (a flood of traced datagrams passes every byte through here).
    const auto advance = [this](size_t bytes) {
        if (frameCount_ < FrameDecoder::kNoFrame) {
            frameCount_ = static_cast<uint16_t>(
                std::min<size_t>(frameCount_ + bytes, FrameDecoder::kNoFrame));
        }
    };
    size_t counted = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = data[i];
        if (c != kFrameStart && c != kFrameEnd) {
            continue;
        }
        advance(i + 1 - counted);
        counted = i + 1;
        if (c == kFrameStart) {
            frameCount_ = 1;
        } else if (frameCount_ <= FrameDecoder::kRingSize) {
            framedBytes_ += frameCount_;
            frameCount_ = FrameDecoder::kNoFrame;
        }
    }
    advance(length - counted);
}

SessionFigures SessionTracker::Figures() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    SessionFigures figures = counts_;
    figures.systemDropsKnown = dropsKnown_.load(std::memory_order_relaxed);
    const uint64_t open = frameCount_ <= FrameDecoder::kRingSize ? frameCount_ : 0;
    figures.bytesDropped = fedBytes_ - framedBytes_ - std::min(open, fedBytes_ - framedBytes_);
    figures.replyMinMs = replies_.Min();
    figures.replyMaxMs = replies_.Max();
    figures.replyMedianMs = replies_.Median();
    return figures;
}

}  // namespace tarvu
