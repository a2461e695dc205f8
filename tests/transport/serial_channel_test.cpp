#include "link/frame_codec.h"
#include "platform/pseudo_terminal.h"
#include "transport/libnet_provider.h"
#include "transport/submit_user_packet.h"
#include "transport/transport_state.h"
#include "transport/worker_threads.h"
#include "transport_fixture.h"

#include <gtest/gtest.h>

#include <future>

namespace tarvu::testing {
namespace {

class SerialChannel : public TransportTest {
protected:
    void SetUp() override {
        TransportTest::SetUp();
        ASSERT_TRUE(pty.Open());
        Restart(0, 0);
        Configure(0, pty.DevicePath(), 115200);
        window.Set(10001, "0");
    }

    void Configure(size_t index, const std::string& device, uint32_t baudRate) {
        ChannelRecord& record = records[index];
        record = ChannelRecord{};
        record.flags = kChannelConfigured;
        record.remotePort = baudRate;
        std::copy(device.begin(), device.end(), record.serialDevice.begin());
    }

    void OpenLine() {
        ASSERT_EQ(OpenChannel(Request(1, 0, kChannelKindSerial)), 0);
        ASSERT_NE(FindChannel(1), nullptr)
            << (MessageBoxes().empty() ? std::string("no message") : MessageBoxes().front().second);
    }

    std::vector<TraceEntry> ReceivedAt(int stage) const {
        std::vector<TraceEntry> entries;
        for (const TraceEntry& e : Received()) {
            if (e.stage == stage) {
                entries.push_back(e);
            }
        }
        return entries;
    }

    size_t ReceivedBytes() const {
        size_t total = 0;
        for (const TraceEntry& e : ReceivedAt(0)) {
            total += e.bytes.size();
        }
        return total;
    }

    void FarEndWrite(const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(pty.Write(bytes.data(), bytes.size(), 2000));
    }

    size_t CountDebugLines(const std::string& part) const {
        size_t n = 0;
        for (const std::string& line : DebugLines()) {
            n += line.find(part) != std::string::npos ? 1 : 0;
        }
        return n;
    }

    PseudoTerminal pty;
};

TEST_F(SerialChannel, FramesWrittenToTheFarEndArriveSplitAndJoinedAsTheyCome) {
    window.SetSubstitution(true);
    OpenLine();
    FarEndWrite({0x7E, 0x01, 0x02});
    ASSERT_TRUE(WaitFor([&] { return ReceivedAt(0).size() == 1; }));
    EXPECT_TRUE(ReceivedAt(1).empty());  // the frame is not complete yet

    FarEndWrite({0x03, 0x7F, 0x7E, 0x7D, 0x3E, 0x7F});
    ASSERT_TRUE(WaitFor([&] { return ReceivedAt(1).size() == 2; }));
    const std::vector<TraceEntry> blocks = ReceivedAt(0);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].bytes, (std::vector<uint8_t>{0x7E, 0x01, 0x02}));
    EXPECT_EQ(blocks[1].bytes, (std::vector<uint8_t>{0x03, 0x7F, 0x7E, 0x7D, 0x3E, 0x7F}));
    // A serial block has no sender: the trace shows 000.000.000.000:00000.
    EXPECT_EQ(blocks[0].address, 0u);
    EXPECT_EQ(blocks[0].port, 0u);
    EXPECT_EQ(blocks[0].channel, &FindChannel(1)->Link());
    const std::vector<TraceEntry> frames = ReceivedAt(1);
    EXPECT_EQ(frames[0].bytes, (std::vector<uint8_t>{0x01, 0x02, 0x03}));
    EXPECT_EQ(frames[1].bytes, std::vector<uint8_t>{0x7E});
    EXPECT_TRUE(SawDebugLine(" nsIOT_WAITCOMM 1\n"));
    EXPECT_TRUE(SawDebugLine(" nsIOT_RECV = 3 b 1\n"));
}

TEST_F(SerialChannel, MoreThanOneRecordWaitingIsReadAtOnceInPieces) {
    OpenLine();
    // Opening the occupied slot again is refused without a message, the line left as it was.
    cnsLibnetProvider* const open = FindChannel(1);
    EXPECT_EQ(OpenChannel(Request(1, 0, kChannelKindSerial)), 0);
    EXPECT_EQ(FindChannel(1), open);
    EXPECT_TRUE(MessageBoxes().empty());
    std::vector<uint8_t> block(1300);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    FarEndWrite(block);
    ASSERT_TRUE(WaitFor([&] { return ReceivedBytes() >= block.size(); }));
    std::vector<uint8_t> joined;
    for (const TraceEntry& e : ReceivedAt(0)) {
        EXPECT_LE(e.bytes.size(), 500u);
        joined.insert(joined.end(), e.bytes.begin(), e.bytes.end());
    }
    EXPECT_EQ(joined, block);
    // At least one character event was followed by several reads.
    EXPECT_LT(CountDebugLines("nsIOT_WAITCOMM"), ReceivedAt(0).size());
}

TEST_F(SerialChannel, PacketsSentLeaveRawOrFramedAndAreTracedWithTheDestination) {
    OpenLine();
    const std::vector<uint8_t> packet = {0x05, 0x11, 0x7E, 0x33, 0x44};
    ASSERT_EQ(SubmitUserPacket(packet.data(), static_cast<uint16_t>(packet.size())), 0);
    EXPECT_EQ(pty.ReadUpTo(packet.size(), 2000), packet);
    ASSERT_TRUE(WaitFor([&] { return SawDebugLine(" nsIOT_SEND 1\n"); }));

    window.SetSubstitution(true);
    ASSERT_EQ(SubmitUserPacket(packet.data(), static_cast<uint16_t>(packet.size())), 0);
    std::vector<uint8_t> frame(FrameAreaSize(packet.size()));
    frame.resize(FrameEncode(frame.data(), packet.data(), packet.size()));
    EXPECT_EQ(pty.ReadUpTo(frame.size(), 2000), frame);
    uint8_t extra = 0;
    EXPECT_EQ(pty.Read(&extra, 1, 100), 0);  // nothing more left

    // Traced as for UDP: the destination fields of the dialog, though the line ignores them.
    const std::vector<TraceEntry> sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].bytes, packet);
    EXPECT_EQ(sent[0].address, LoopbackAddress());
    EXPECT_EQ(sent[0].port, 10001u);
    EXPECT_EQ(sent[2].stage, 1);
    EXPECT_EQ(sent[2].bytes, frame);
    EXPECT_TRUE(WaitFor([&] { return CountDebugLines(" nsIOT_SEND 1\n") == 2; }));
}

TEST_F(SerialChannel, LineThatCannotOpenIsReportedAndLeavesNothingOpen) {
    Configure(0, "/dev/tarvu-no-such-line", 9600);
    ASSERT_EQ(OpenChannel(Request(1, 0, kChannelKindSerial)), 0);
    EXPECT_EQ(FindChannel(1), nullptr);
    const auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].first, "cnsSerialPort::Open");
    EXPECT_NE(boxes[0].second.find("/dev/tarvu-no-such-line"), std::string::npos);
    EXPECT_NE(boxes[0].second.find("No such file"), std::string::npos);
    EXPECT_EQ(boxes[1].first, "cnsLibnetProvider::cnsLibnetProvider");
    EXPECT_FALSE(ChannelTableExists());
    EXPECT_EQ(WorkerThreads().Size(), 0u);
    EXPECT_EQ(Transport().port, nullptr);
    EXPECT_EQ(Transport().openDrivers.load(), 0);
}

TEST_F(SerialChannel, FarEndHangingUpStopsReceptionWithoutSpinningAndTheChannelCloses) {
    OpenLine();
    FarEndWrite({0x10, 0x20});
    ASSERT_TRUE(WaitFor([&] { return ReceivedAt(0).size() == 1; }));
    pty.CloseFarEnd();
    pty.CloseDeviceSide();
    ASSERT_TRUE(WaitFor([&] { return SawDebugLine("hung up or failed; reception stops"); }));

    // The worker is idle, not spinning on a line that stays readable.
    const size_t lines = DebugLines().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(DebugLines().size(), lines);

    // It still runs send steps; the write fails and says so.
    const uint8_t packet[2] = {0x01, 0x02};
    ASSERT_EQ(SubmitUserPacket(packet, 2), 0);
    EXPECT_TRUE(WaitFor([&] { return SawDebugLine("write of 2 bytes to serial line"); }));

    CloseChannel(Request(1));
    EXPECT_FALSE(ChannelTableExists());
    EXPECT_EQ(WorkerThreads().Size(), 0u);
    EXPECT_EQ(Transport().port, nullptr);
}

TEST_F(SerialChannel, ClosingEndsASendStepBlockedOnAFullLine) {
    OpenLine();  // 115200 baud: a write waits without time-out
    ASSERT_TRUE(pty.SuspendOutput(true));
    const uint8_t packet[3] = {0x01, 0x02, 0x03};
    ASSERT_EQ(SubmitUserPacket(packet, 3), 0);
    ASSERT_TRUE(WaitFor([&] { return SawDebugLine(" nsT_TIMER_SEND 1\n"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(SawDebugLine(" nsIOT_SEND"));  // still blocked in the write

    std::future<int> closed =
        std::async(std::launch::async, [&] { return CloseChannel(Request(1)); });
    const bool ended = closed.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    if (!ended) {
        pty.CloseFarEnd();  // frees the worker, so that the test can end
    }
    EXPECT_TRUE(ended);
    closed.wait();
    EXPECT_FALSE(ChannelTableExists());
}

}  // namespace
}  // namespace tarvu::testing
