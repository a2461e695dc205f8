#include "link_channel_fakes.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace tarvu::testing {
namespace {

using Events = std::vector<std::string>;

int64_t gCounter = 0;
constexpr PacingClock kFakeClock{[] { return gCounter; }, [] { return int64_t{10'000'000}; }};

using SendStepTest = ChannelTest;

TEST_F(SendStepTest, LastQueuedGoesFirstOnePerStepAndEmptyQueueLeavesTheTimer) {
    Submit({0x11, 0x01, 0x00, 0x30, 0x00});
    Submit({0x11, 0x02, 0x00, 0x30, 0x00});
    EXPECT_EQ(transport.posts, 2);
    EXPECT_EQ(S().sendQueue.Head()->accounted, 0u);

    EXPECT_EQ(Channel().SendStep(), 1);
    EXPECT_EQ(Channel().SendStep(), 1);
    EXPECT_EQ(transport.sent,
              (std::vector<Bytes>{{0x11, 0x02, 0x00, 0x30, 0x00}, {0x11, 0x01, 0x00, 0x30, 0x00}}));
    // All delays 0: out at once, then the user packet's 300 ms.
    EXPECT_EQ(transport.events, (Events{"send", "sleep 300", "send", "sleep 300"}));

    transport.events.clear();
    EXPECT_EQ(Channel().SendStep(), 0);
    EXPECT_TRUE(transport.events.empty());

    // Without the pending flag nothing is queued.
    Channel().QueueUserPacket();
    EXPECT_EQ(transport.posts, 2);
    EXPECT_TRUE(S().sendQueue.Empty());
}

TEST_F(SendStepTest, SpacingWaitsTheRestOfMinSendInterval) {
    app.config.parameters[kMinSendInterval] = 100;
    app.config.parameters[kUserPacketWait] = 0;
    Reopen();
    S().clock = kFakeClock;
    gCounter = 77'000'000;
    Submit({0x00, 0x30, 0x00});
    Channel().SendStep();  // the first measurement only records the time
    EXPECT_EQ(S().lastSendTime, 77'000'000);

    S().measureSpacing = 1;  // as at the end of a device cycle
    gCounter += 40 * 10'000;
    Submit({0x00, 0x30, 0x00});
    Channel().SendStep();
    EXPECT_EQ(transport.events, (Events{"send", "sleep 60", "send"}));
    EXPECT_EQ(S().lastSendTime, 77'000'000 + 100 * 10'000);
    EXPECT_EQ(S().measureSpacing, 0u);

    // sendDelay is waited before every send; firstSendDelay once after the cycle builder ran.
    app.config.parameters[kSendDelay] = 80;
    app.config.parameters[kFirstSendDelay] = 500;
    Reopen();
    transport.events.clear();
    S().firstSendPending = 1;
    Submit({0x00, 0x30, 0x00});
    Submit({0x00, 0x30, 0x00});
    Channel().SendStep();
    Channel().SendStep();
    EXPECT_EQ(transport.events, (Events{"sleep 80", "sleep 500", "send", "sleep 80", "send"}));
}

TEST_F(SendStepTest, ClosingDuringAWaitEndsTheStepWithoutAccounting) {
    // A class-4 request whose counter runs out moves the device to state 5 after the wait.
    S().deviceStates[0].class4Count = 1;
    S().deviceStates[0].class5Count = 3;
    QueueAccounted({0x11, 0x01, 0x00, 0x40, 0x01});
    transport.onSleep = [this] { transport.running = false; };
    EXPECT_EQ(Channel().SendStep(), 0);
    EXPECT_EQ(transport.sent.size(), 1u);
    EXPECT_TRUE(S().sendQueue.Empty());
    EXPECT_EQ(S().deviceStates[0].state, kDeviceIdle);

    transport.running = true;
    transport.onSleep = nullptr;
    S().deviceStates[0].class4Count = 1;
    QueueAccounted({0x11, 0x01, 0x00, 0x40, 0x01});
    EXPECT_EQ(Channel().SendStep(), 1);
    EXPECT_EQ(S().deviceStates[0].state, kDeviceRequestClass5);

    // Closed during the wait before sending: nothing goes out and the packet stays queued.
    app.config.parameters[kSendDelay] = 50;
    Reopen();
    transport.onSleep = [this] { transport.running = false; };
    Submit({0x00, 0x30, 0x00});
    EXPECT_EQ(Channel().SendStep(), 0);
    EXPECT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(S().sendQueue.Size(), 1u);
}

TEST_F(SendStepTest, StepRemovesExactlyThePacketItSent) {
    Submit({0x00, 0x30, 0x01});
    transport.onSend = [this] {
        transport.onSend = nullptr;
        Submit({0x00, 0x30, 0x02});  // the user sends again meanwhile
    };
    EXPECT_EQ(Channel().SendStep(), 1);
    EXPECT_EQ(S().sendQueue.Size(), 1u);
    EXPECT_EQ(HeadBytes(), (Bytes{0x00, 0x30, 0x02}));

    // The same from another thread, many times: each packet goes out exactly once.
    app.config.parameters[kUserPacketWait] = 0;
    Reopen();
    transport.sent.clear();
    constexpr int kPackets = 300;
    Channel();
    std::thread user([this] {
        for (int i = 0; i < kPackets; ++i) {
            Submit({0x00, 0x30, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)});
        }
    });
    for (int spins = 0; transport.sent.size() < kPackets && spins < 10'000'000; ++spins) {
        Channel().SendStep();
    }
    user.join();
    ASSERT_EQ(transport.sent.size(), size_t{kPackets});
    std::vector<int> seen;
    for (const Bytes& bytes : transport.sent) {
        seen.push_back(bytes[2] | bytes[3] << 8);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()) - seen.begin(), kPackets);
}

TEST_F(SendStepTest, SwitchDecidesBetweenPacketAndFrame) {
    const Bytes packet = {0x11, 0x01, 0x00, 0x30, 0x00};
    const Bytes frame = {0x7E, 0x7D, 0x51, 0x7D, 0x41, 0x7D, 0x40, 0x30, 0x7D, 0x40, 0x7F};
    app.window.ip = {10, 0, 0, 7};
    app.window.sendPort = "4321x";
    Submit(packet);
    Channel().SendStep();
    app.window.substitution = true;
    Submit(packet);
    Channel().SendStep();

    ASSERT_EQ(app.traces.size(), 3u);
    for (const TraceEntry& t : app.traces) {
        EXPECT_EQ(t.direction, 1);
        EXPECT_EQ(t.port, 4321u);
        EXPECT_EQ(t.address, transport.destinations[0].address);
    }
    EXPECT_EQ(app.traces[0].bytes, packet);
    EXPECT_EQ(app.traces[1].bytes, packet);
    EXPECT_EQ(app.traces[1].stage, 0);
    EXPECT_EQ(app.traces[2].bytes, frame);
    EXPECT_EQ(app.traces[2].stage, 1);
    EXPECT_EQ(transport.sent, (std::vector<Bytes>{packet, frame}));
    const auto* octets = reinterpret_cast<const uint8_t*>(&transport.destinations[0].address);
    EXPECT_EQ(Bytes(octets, octets + 4), (Bytes{10, 0, 0, 7}));
    EXPECT_EQ(transport.destinations[0].port, 4321);
}

TEST_F(SendStepTest, OddUserPacketsGoOutAsTypedWithoutOverrun) {
    app.window.substitution = true;
    Submit({0x21});  // shorter than the header its length byte announces
    Channel().SendStep();
    Submit({});  // an empty packet is the single length byte 00
    Channel().SendStep();
    EXPECT_EQ(app.traces[0].bytes, (Bytes{0x21}));
    EXPECT_EQ(transport.sent[1], (Bytes{0x7E, 0x7D, 0x40, 0x7F}));

    // 512 reserved bytes frame to 1026; typed bytes beyond 512 are not kept.
    Bytes big(600, 0x7E);
    big[511] = 0x7F;
    Submit(big);
    Channel().SendStep();
    ASSERT_EQ(transport.sent.size(), 3u);
    ASSERT_EQ(transport.sent[2].size(), 1026u);
    EXPECT_EQ(Bytes(transport.sent[2].end() - 3, transport.sent[2].end()),
              (Bytes{0x7D, 0x3F, 0x7F}));
}

TEST(SendStepPacing, WholeElapsedTimeDecidesAndLongSpansDoNotOverflow) {
    constexpr PacingClock kMsClock{[] { return gCounter; }, [] { return int64_t{1000}; }};
    int64_t last = 500;
    int64_t now = 0;
    gCounter = 500 + 65'576;  // long enough, although its low 16 bits read 40
    EXPECT_EQ(MeasureSendSpacing(kMsClock, 100, last, now), 0);
    EXPECT_EQ(last, gCounter);
    constexpr int64_t kTwoHundredDaysMs = 200LL * 24 * 3600 * 1000;
    EXPECT_EQ(ElapsedMilliseconds(0, kTwoHundredDaysMs * 1'000'000 + 999'999, 1'000'000'000),
              kTwoHundredDaysMs);
}

TEST_F(SendStepTest, SendPortOutsideThePortRangeSendsNothingAndSaysSo) {
    std::vector<std::pair<std::string, std::string>> boxes;
    MessageBoxHandler previous =
        SetMessageBoxHandler([&boxes](const std::string& caption, const std::string& text) {
            boxes.emplace_back(caption, text);
        });
    app.window.sendPort = "70000";
    const Bytes packet = {0x00, 0x30, 0x00};
    EXPECT_EQ(Channel().SendPacket(packet.data(), packet.size()), -1);
    EXPECT_TRUE(transport.sent.empty());
    EXPECT_TRUE(app.traces.empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Внимание!");
    EXPECT_EQ(boxes[0].second, "Порт передачи 70000 вне пределов 0..65535: пакет не послан");

    app.window.sendPort = "65535";  // the top of the range still goes
    EXPECT_EQ(Channel().SendPacket(packet.data(), packet.size()), 1);
    app.window.sendPort = "70000";
    transport.baudRate = 9600;  // a serial channel ignores the address
    EXPECT_EQ(Channel().SendPacket(packet.data(), packet.size()), 1);
    EXPECT_EQ(boxes.size(), 1u);
    SetMessageBoxHandler(std::move(previous));
}

}  // namespace
}  // namespace tarvu::testing
