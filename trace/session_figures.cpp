#include "trace/session_figures.h"

#include "link/frame_codec.h"
#include "trace/decoded_line.h"

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

SessionTracker::SessionTracker(Clock clock) : clock_(std::move(clock)) {
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
    ++counts_.datagramsReceived;
    counts_.bytesReceived += block.length;
    const Key sender = MakeKey(block.address, block.port);
    const Key destination = MakeKey(context.destinationAddress, context.destinationPort);
    lastReply_ = ReplyTime(sender, destination, clock_());
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

std::optional<uint32_t> SessionTracker::ReplyTime(Key sender, Key destination,
                                                  std::chrono::steady_clock::time_point now) const {
    auto sent = lastSent_.find(sender);
    if (sent == lastSent_.end()) {
        sent = lastSent_.find(destination);
    }
    if (sent == lastSent_.end()) {
        return std::nullopt;
    }
    return ClampMs(now - sent->second);
}

void SessionTracker::CountDropped(const uint8_t* data, size_t length) {
    if (data == nullptr) {
        return;
    }
    // The decoder's own rule: a 0x7E opens a span, a 0x7F closes one of at most a ring's
    // worth of bytes; anything else outside a completed span is lost.
    fedBytes_ += length;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = data[i];
        if (frameCount_ < FrameDecoder::kNoFrame) {
            ++frameCount_;
        }
        if (c == kFrameStart) {
            frameCount_ = 1;
        } else if (c == kFrameEnd && frameCount_ <= FrameDecoder::kRingSize) {
            framedBytes_ += frameCount_;
            frameCount_ = FrameDecoder::kNoFrame;
        }
    }
}

SessionFigures SessionTracker::Figures() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    SessionFigures figures = counts_;
    const uint64_t open = frameCount_ <= FrameDecoder::kRingSize ? frameCount_ : 0;
    figures.bytesDropped = fedBytes_ - framedBytes_ - std::min(open, fedBytes_ - framedBytes_);
    figures.replyMinMs = replies_.Min();
    figures.replyMaxMs = replies_.Max();
    figures.replyMedianMs = replies_.Median();
    return figures;
}

}  // namespace tarvu
