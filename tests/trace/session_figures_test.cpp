#include "trace/session_figures.h"

#include "link/frame_codec.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace tarvu {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;

const std::string kPrefix = std::string(31, ' ') + "...= ";

uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t octets[4] = {a, b, c, d};
    uint32_t address = 0;
    std::memcpy(&address, octets, 4);
    return address;
}

const uint32_t kConverter = Address(10, 0, 0, 1);
const uint32_t kElsewhere = Address(10, 0, 0, 2);

class SessionTrackerTest : public ::testing::Test {
protected:
    SessionTrackerTest() : tracker_([this] { return now_; }, [this] { return systemNow_; }) {
        context_.destinationAddress = kConverter;
        context_.destinationPort = 10002;
    }

    // The lines the tracker adds to one block's trace line.
    std::string Trace(const Bytes& bytes, int direction, uint32_t address, uint16_t port,
                      int stage = 0) {
        TraceBlock block;
        block.data = bytes.data();
        block.length = bytes.size();
        block.direction = direction;
        block.address = address;
        block.port = port;
        block.stage = stage;
        std::string text;
        tracker_.Observe(block, context_, text);
        return text;
    }
    std::string Sent(const Bytes& bytes, int stage = 0) {
        return Trace(bytes, 1, kConverter, 10002, stage);
    }
    std::string Received(const Bytes& bytes, uint32_t address = kConverter, uint16_t port = 10002,
                         int stage = 0) {
        return Trace(bytes, 0, address, port, stage);
    }
    void Advance(int ms) { now_ += milliseconds(ms); }

    std::chrono::steady_clock::time_point now_{};
    int64_t systemNow_ = 1'800'000'000'000'000;  // µs since the Unix epoch
    TraceContext context_;
    SessionTracker tracker_;
};

TEST_F(SessionTrackerTest, CountsWhatLeftAndCameAndTimesReplies) {
    EXPECT_EQ(tracker_.Figures().replies, 0u);
    Received({0x01});  // nothing sent yet: no reply time
    Sent({0x11, 0x01, 0x00, 0x30, 0x00});
    Advance(40);
    Received({0x11, 0x01, 0x00, 0x30, 0x00, 0x99});
    // Frame coding on: the coded frame is what left.
    context_.substitution = true;
    Sent({0x00, 0x30, 0x00});
    Sent({0x7E, 0x7D, 0x40, 0x30, 0x7D, 0x40, 0x7F}, 1);
    Advance(10);
    Received({0x7E, 0x41, 0x7F});
    Received({0x41}, kConverter, 10002, 1);
    Advance(100);
    // From another port: timed from the last packet sent to the destination.
    Received({0x02}, kConverter, 10003);
    Advance(1000);
    Received({0x03});

    const SessionFigures f = tracker_.Figures();
    EXPECT_EQ(f.datagramsSent, 2u);
    EXPECT_EQ(f.bytesSent, 5u + 7u);
    EXPECT_EQ(f.datagramsReceived, 5u);
    EXPECT_EQ(f.bytesReceived, 1u + 6u + 3u + 1u + 1u);
    EXPECT_EQ(f.framesDecoded, 1u);
    EXPECT_EQ(f.replies, 4u);
    EXPECT_EQ(f.replyMinMs, 10u);
    EXPECT_EQ(f.replyMedianMs, (40u + 110u) / 2);  // replies 40, 10, 110, 1110
    EXPECT_EQ(f.replyMaxMs, 1110u);
    EXPECT_EQ(f.bytesDropped, 2u);  // 02 and 03 were fed to the decoder outside any frame
    EXPECT_EQ(f.sendersSeen, 2u);
    EXPECT_EQ(f.newSenders, 1u);
    EXPECT_EQ(FormatSessionFigures(f),
              "sent: 2 datagrams, 12 bytes\n"
              "received: 5 datagrams, 12 bytes\n"
              "dropped by the system: 0 datagrams, cut: 0 datagrams\n"
              "frames decoded: 1, bytes dropped: 2\n"
              "reply ms: count 4, min 10, median 75, max 1110\n"
              "senders seen: 2, new: 1\n");
}

TEST_F(SessionTrackerTest, RepliesAreTimedFromTheLastSendToTheirSender) {
    Sent({0x00, 0x30, 0x00});
    Advance(500);
    Trace({0x00, 0x30, 0x00}, 1, kElsewhere, 7000);  // sent elsewhere later
    Advance(20);
    Received({0x01}, kElsewhere, 7000);
    Received({0x01});
    const SessionFigures f = tracker_.Figures();
    EXPECT_EQ(f.replyMinMs, 20u);
    EXPECT_EQ(f.replyMaxMs, 520u);
    EXPECT_EQ(f.replyMedianMs, 270u);
    // Replies beyond the per-millisecond table keep their exact maximum.
    Advance(100000);
    Received({0x01});
    EXPECT_EQ(tracker_.Figures().replyMaxMs, 100520u);
    EXPECT_EQ(tracker_.Figures().replyMedianMs, 520u);
}

// What the system told about received datagrams: the gap goes before the datagram's line and
// the cut right after it, the reply is timed from the arrival at the socket rather than from
// when the engine got to the datagram, and the figures and the end note count both.
TEST_F(SessionTrackerTest, DropsCutsAndArrivalTimesToldByTheSystem) {
    const std::string note = std::string(31, ' ') + "...! ";
    tracker_.SetDecode(true);
    const Bytes poll = {0x11, 0x01, 0x00, 0x30, 0x00};
    Sent(poll);
    Advance(300);  // the engine waited after the send before it traced the reply
    TraceBlock block;
    block.data = poll.data();
    block.length = poll.size();
    block.address = kConverter;
    block.port = 10002;
    block.droppedBefore = 3;
    block.wireLength = 620;
    // It reached the socket 2.5 ms after the send, 297.5 ms before now.
    block.receivedMicros = systemNow_ - 297'500;
    std::string text = "LINE\n";
    tracker_.Observe(block, context_, text);
    EXPECT_EQ(text, note + "3 datagrams dropped by the system here\nLINE\n" + note +
                        "cut: 620 bytes arrived, 5 kept\n" + kPrefix +
                        "dev=01 addr2=00 type=30 qual=00 body=- reply=2ms\n");

    // A datagram the system told nothing about is timed as before; one dropped after the last.
    Advance(10);
    tracker_.SetDecode(false);
    EXPECT_EQ(Received({0x01}), "");
    EXPECT_EQ(tracker_.ObserveDroppedAfterLast(1),
              note + "1 datagram dropped by the system after the last one received\n");
    EXPECT_EQ(tracker_.ObserveDroppedAfterLast(0), "");

    SessionFigures f = tracker_.Figures();
    EXPECT_EQ(f.droppedBySystem, 4u);
    EXPECT_EQ(f.cut, 1u);
    EXPECT_EQ(f.replyMinMs, 2u);
    EXPECT_EQ(f.replyMaxMs, 310u);
    EXPECT_EQ(TraceIncompleteNote(f),
              "the trace is incomplete: 4 datagrams dropped by the system, 1 datagram cut");
    // The dialogs' view says the note on a line of its own before the figures.
    EXPECT_EQ(FormatSessionFiguresWithNote(f),
              TraceIncompleteNote(f) + "\n" + FormatSessionFigures(f));
    EXPECT_NE(
        FormatSessionFigures(f).find("\ndropped by the system: 4 datagrams, cut: 1 datagrams\n"),
        std::string::npos);
    tracker_.SetSystemDropsKnown(false);
    f = tracker_.Figures();
    EXPECT_NE(FormatSessionFigures(f).find("\ndropped by the system: unknown, cut: 1 datagrams\n"),
              std::string::npos);
    f.droppedBySystem = 0;
    f.cut = 0;
    EXPECT_EQ(TraceIncompleteNote(f), "");
    EXPECT_EQ(FormatSessionFiguresWithNote(f), FormatSessionFigures(f));
}

TEST_F(SessionTrackerTest, DecodedLinesFollowEveryLinkPacketOnlyWhenOn) {
    const Bytes poll = {0x11, 0x01, 0x00, 0x30, 0x00};
    EXPECT_EQ(Sent(poll), "");
    EXPECT_EQ(Received(poll, kElsewhere, 10002), "");  // counted, not said

    tracker_.SetDecode(true);
    Advance(7);
    EXPECT_EQ(Sent(poll), kPrefix + "dev=01 addr2=00 type=30 qual=00 body=-\n");
    Advance(33);
    EXPECT_EQ(Received(poll), kPrefix + "dev=01 addr2=00 type=30 qual=00 body=- reply=33ms\n");

    // Frame coding on: the coded frame and the raw datagram get none, each frame cut from it
    // gets one with the datagram's reply time.
    context_.substitution = true;
    EXPECT_EQ(Sent({0x7E, 0x7F}, 1), "");
    Advance(2);
    EXPECT_EQ(Received({0x7E, 0x00, 0x30, 0x00, 0x7F, 0x7E, 0x7F}), "");
    EXPECT_EQ(Received({0x00, 0x30, 0x00}, kConverter, 10002, 1),
              kPrefix + "dev=- addr2=- type=30 qual=00 body=- reply=35ms\n");
    EXPECT_EQ(Received({}, kConverter, 10002, 1), kPrefix + "short reply=35ms\n");
    EXPECT_EQ(tracker_.Figures().framesDecoded, 2u);
}

TEST_F(SessionTrackerTest, ANewSenderIsSaidOnceAndTheDestinationNever) {
    tracker_.SetDecode(true);
    const std::string decoded = kPrefix + "dev=- addr2=- type=30 qual=00 body=-\n";
    EXPECT_EQ(Received({0x00, 0x30, 0x00}), decoded);
    EXPECT_EQ(Received({0x00, 0x30, 0x00}, kConverter, 10003),
              decoded + kPrefix + "new sender 010.000.000.001:10003\n");
    EXPECT_EQ(Received({0x00, 0x30, 0x00}, kConverter, 10003), decoded);
    context_.substitution = true;
    EXPECT_EQ(Received({0x7E}, kElsewhere, 10002), kPrefix + "new sender 010.000.000.002:10002\n");
    // A serial line's blocks come without an address: no sender to tell apart.
    EXPECT_EQ(Received({0x01}, 0, 0), "");
    EXPECT_EQ(tracker_.Figures().sendersSeen, 3u);
    EXPECT_EQ(tracker_.Figures().newSenders, 2u);
}

TEST_F(SessionTrackerTest, DroppedBytesFollowTheFrameDecoder) {
    context_.substitution = true;
    // 41 42 lie before any frame; 7E 05 waits open.
    Received({0x41, 0x42, 0x7E, 0x01, 0x7F, 0x7E, 0x05});
    EXPECT_EQ(tracker_.Figures().bytesDropped, 2u);
    // A new 0x7E abandons the open frame; a 0x7F without a frame is lost.
    Received({0x7E, 0x06, 0x7F, 0x7F});
    EXPECT_EQ(tracker_.Figures().bytesDropped, 2u + 2u + 1u);
    // A span longer than the decoder's ring is dropped whole once it can no longer complete.
    Bytes longFrame(600, 0x41);
    longFrame.front() = 0x7E;
    longFrame.back() = 0x7F;
    Received(longFrame);
    EXPECT_EQ(tracker_.Figures().bytesDropped, 5u + 600u);
    // With frame coding off nothing is fed to the decoder.
    context_.substitution = false;
    Received({0x41, 0x41});
    EXPECT_EQ(tracker_.Figures().bytesDropped, 605u);
}

// A span of the decoder's whole 512-byte ring still makes a frame, one of 513 does not; an
// open span waits up to the same bound and is lost one byte beyond it.
TEST_F(SessionTrackerTest, DroppedBytesAtTheDecodersFrameLimit) {
    const auto decoderFrames = [](const Bytes& bytes) {
        FrameDecoder decoder;
        int frames = 0;
        decoder.Feed(bytes.data(), bytes.size(), [&frames](const uint8_t*, size_t) { ++frames; });
        return frames;
    };
    context_.substitution = true;
    Bytes span(FrameDecoder::kRingSize, 0x41);
    span.front() = 0x7E;
    span.back() = 0x7F;
    ASSERT_EQ(decoderFrames(span), 1);
    Received(span);
    EXPECT_EQ(tracker_.Figures().bytesDropped, 0u);

    span.insert(span.begin() + 1, 0x41);  // 513 bytes
    ASSERT_EQ(decoderFrames(span), 0);
    Received(span);
    EXPECT_EQ(tracker_.Figures().bytesDropped, 513u);

    Bytes open(FrameDecoder::kRingSize, 0x41);
    open.front() = 0x7E;
    Received(open);
    EXPECT_EQ(tracker_.Figures().bytesDropped, 513u);
    Received({0x41});
    EXPECT_EQ(tracker_.Figures().bytesDropped, 513u + 513u);
}

}  // namespace
}  // namespace tarvu
