#include "link/frame_codec.h"
#include "link/link_channel.h"
#include "link/link_channel_state.h"
#include "link_channel_fakes.h"

#include <gtest/gtest.h>

namespace tarvu::testing {
namespace {

int64_t gCounter = 0;
int64_t FakeCounter() {
    return gCounter;
}
int64_t FakeFrequency() {
    return 10'000'000;
}  // 10 000 counts per millisecond

class SendStepTest : public ::testing::Test {
protected:
    void SetUp() override { app.Start(); }

    LinkChannel& Channel() {
        if (!channel) {
            channel = std::make_unique<LinkChannel>(UdpRequest(1), transport);
        }
        return *channel;
    }

    // The Send command's path: store the bytes, flag them, queue them.
    void Submit(const Bytes& bytes) {
        StoreUserPacket(bytes.data(), static_cast<uint16_t>(bytes.size()));
        Channel().SetUserPacketPending(true);
        Channel().QueueUserPacket();
    }

    // An engine-built packet at the tail, as the cycle builder queues them.
    void QueueAccounted(const Bytes& bytes, uint32_t wait) {
        auto packet = std::make_unique<LinkPacket>(LinkPacket::Parse(bytes.data(), bytes.size()));
        packet->wait = wait;
        packet->accounted = 1;
        Channel().Internals().sendQueue.PushBack(std::move(packet));
    }

    FakeApplication app;
    FakeTransport transport;
    std::unique_ptr<LinkChannel> channel;
};

TEST_F(SendStepTest, LastQueuedUserPacketGoesFirstAndEachStepSendsOne) {
    Submit({0x11, 0x01, 0x00, 0x30, 0x00});
    Submit({0x11, 0x02, 0x00, 0x30, 0x00});
    EXPECT_EQ(transport.posts, 2);

    EXPECT_EQ(Channel().SendStep(), 1);
    ASSERT_EQ(transport.sent.size(), 1u);
    EXPECT_EQ(transport.sent[0].bytes, (Bytes{0x11, 0x02, 0x00, 0x30, 0x00}));
    EXPECT_EQ(Channel().SendStep(), 1);
    ASSERT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(transport.sent[1].bytes, (Bytes{0x11, 0x01, 0x00, 0x30, 0x00}));

    // Empty queue, nothing to refill: no send and no touch of the timer.
    transport.events.clear();
    EXPECT_EQ(Channel().SendStep(), 0);
    EXPECT_TRUE(transport.events.empty());
}

TEST_F(SendStepTest, QueueingNeedsThePendingFlagAndClearsIt) {
    const Bytes bytes = {0x00, 0x30, 0x00};
    StoreUserPacket(bytes.data(), 3);
    Channel().QueueUserPacket();
    EXPECT_EQ(transport.posts, 0);
    EXPECT_TRUE(Channel().Internals().sendQueue.Empty());

    Channel().SetUserPacketPending(true);
    Channel().QueueUserPacket();
    Channel().QueueUserPacket();  // the flag was cleared by the first call
    EXPECT_EQ(transport.posts, 1);
    EXPECT_EQ(Channel().Internals().sendQueue.Size(), 1u);
    const LinkPacket* head = Channel().Internals().sendQueue.Head();
    EXPECT_EQ(head->wait, 300u);
    EXPECT_EQ(head->accounted, 0u);
}

TEST_F(SendStepTest, WithoutDelaysAUserPacketGoesOutAtOnceThenTheStepSleeps) {
    Submit({0x11, 0x01, 0x00, 0x30, 0x00});
    EXPECT_EQ(Channel().SendStep(), 1);
    EXPECT_EQ(transport.events, (std::vector<std::string>{"send", "sleep 300"}));
    EXPECT_TRUE(Channel().Internals().sendQueue.Empty());
}

TEST_F(SendStepTest, SpacingWaitsTheRestOfMinSendInterval) {
    app.config.parameters[kMinSendInterval] = 100;
    app.config.parameters[kUserPacketWait] = 0;
    app.Start();
    LinkChannel::State& s = Channel().Internals();
    s.clock = PacingClock{&FakeCounter, &FakeFrequency};

    gCounter = 77'000'000;
    Submit({0x00, 0x30, 0x00});
    EXPECT_EQ(Channel().SendStep(), 1);  // the first measurement only records the time
    EXPECT_EQ(s.lastSendTime, 77'000'000);
    EXPECT_EQ(s.measureSpacing, 0u);
    EXPECT_TRUE(transport.sleeps.empty());

    // The cycle builder asks for a new measurement at the end of a device cycle.
    s.measureSpacing = 1;
    gCounter += 40 * 10'000;
    Submit({0x00, 0x30, 0x00});
    EXPECT_EQ(Channel().SendStep(), 1);
    EXPECT_EQ(transport.events, (std::vector<std::string>{"send", "sleep 60", "send"}));
    EXPECT_EQ(s.lastSendTime, 77'000'000 + 100 * 10'000);

    // Without a measurement only sendDelay counts; with one, the longer of the two.
    app.config.parameters[kSendDelay] = 80;
    app.Start();
    channel.reset();
    transport.events.clear();
    Channel().Internals().clock = PacingClock{&FakeCounter, &FakeFrequency};
    Submit({0x00, 0x30, 0x00});
    Channel().SendStep();
    Submit({0x00, 0x30, 0x00});
    Channel().SendStep();
    EXPECT_EQ(transport.events, (std::vector<std::string>{"sleep 80", "send", "sleep 80", "send"}));
}

TEST_F(SendStepTest, FirstSendDelayIsWaitedOnceAfterTheCycleBuilderRan) {
    app.config.parameters[kFirstSendDelay] = 500;
    app.Start();
    Channel().Internals().firstSendPending = 1;
    Submit({0x00, 0x30, 0x00});
    Submit({0x00, 0x30, 0x00});
    Channel().SendStep();
    Channel().SendStep();
    EXPECT_EQ(transport.events,
              (std::vector<std::string>{"sleep 500", "send", "sleep 300", "send", "sleep 300"}));
}

TEST_F(SendStepTest, ClosingDuringAWaitEndsTheStepWithoutAccounting) {
    // Class-4 request to device 1 whose counter runs out: a completed step moves the device
    // to state 5.
    Channel().Internals().deviceStates[0].class4Count = 1;
    QueueAccounted({0x11, 0x01, 0x00, 0x40, 0x01}, 2000);
    EXPECT_EQ(Channel().SendStep(), 1);
    EXPECT_EQ(Channel().Internals().deviceStates[0].state, kDeviceRequestClass5);

    channel.reset();
    Channel().Internals().deviceStates[0].class4Count = 1;
    QueueAccounted({0x11, 0x01, 0x00, 0x40, 0x01}, 2000);
    transport.onSleep = [this] { transport.running = false; };
    EXPECT_EQ(Channel().SendStep(), 0);
    EXPECT_EQ(transport.sent.size(), 2u);
    EXPECT_TRUE(Channel().Internals().sendQueue.Empty());
    EXPECT_EQ(Channel().Internals().deviceStates[0].state, kDeviceIdle);

    // Closed during the pre-send wait: nothing is sent and the packet stays queued.
    app.config.parameters[kSendDelay] = 50;
    app.Start();
    channel.reset();
    transport.running = true;
    Submit({0x00, 0x30, 0x00});
    EXPECT_EQ(Channel().SendStep(), 0);
    EXPECT_EQ(transport.sent.size(), 2u);
    EXPECT_EQ(Channel().Internals().sendQueue.Size(), 1u);
}

TEST_F(SendStepTest, StepRemovesExactlyThePacketItSent) {
    Submit({0x00, 0x30, 0x01});
    // The user queues another packet while the first is on its way.
    transport.onSend = [this] {
        transport.onSend = nullptr;
        Submit({0x00, 0x30, 0x02});
    };
    EXPECT_EQ(Channel().SendStep(), 1);
    const LinkPacket* head = Channel().Internals().sendQueue.Head();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(Bytes(head->Data(), head->Data() + head->Length()), (Bytes{0x00, 0x30, 0x02}));
    EXPECT_EQ(Channel().Internals().sendQueue.Size(), 1u);
}

TEST_F(SendStepTest, SwitchDecidesBetweenPacketAndFrame) {
    const Bytes packet = {0x11, 0x01, 0x00, 0x30, 0x00};
    const Bytes frame = {0x7E, 0x7D, 0x51, 0x7D, 0x41, 0x7D, 0x40, 0x30, 0x7D, 0x40, 0x7F};
    app.window.ip = {10, 0, 0, 7};
    app.window.sendPort = "4321x";

    Submit(packet);
    Channel().SendStep();
    ASSERT_EQ(app.traces.size(), 1u);
    EXPECT_EQ(app.traces[0].bytes, packet);
    EXPECT_EQ(app.traces[0].direction, 1);
    EXPECT_EQ(app.traces[0].stage, 0);
    EXPECT_EQ(app.traces[0].port, 4321u);
    ASSERT_EQ(transport.sent.size(), 1u);
    EXPECT_EQ(transport.sent[0].bytes, packet);
    const uint8_t* octets = reinterpret_cast<const uint8_t*>(&transport.sent[0].destination);
    EXPECT_EQ(Bytes(octets, octets + 4), (Bytes{10, 0, 0, 7}));  // network byte order
    EXPECT_EQ(transport.sent[0].destination.port, 4321);

    app.window.substitution = true;
    app.traces.clear();
    Submit(packet);
    Channel().SendStep();
    ASSERT_EQ(app.traces.size(), 2u);
    EXPECT_EQ(app.traces[0].bytes, packet);
    EXPECT_EQ(app.traces[0].stage, 0);
    EXPECT_EQ(app.traces[1].bytes, frame);
    EXPECT_EQ(app.traces[1].stage, 1);
    EXPECT_EQ(app.traces[1].address, app.traces[0].address);
    EXPECT_EQ(transport.sent[1].bytes, frame);
}

TEST_F(SendStepTest, OddUserPacketsGoOutAsTypedWithinTheirCapacity) {
    app.window.substitution = true;
    // Shorter than the header its length byte announces; an empty field gives 00.
    Submit({0x21});
    Channel().SendStep();
    Submit({});
    Channel().SendStep();
    ASSERT_EQ(app.traces.size(), 4u);
    EXPECT_EQ(app.traces[0].bytes, (Bytes{0x21}));
    EXPECT_EQ(app.traces[2].bytes, (Bytes{0x00}));
    EXPECT_EQ(transport.sent[1].bytes, (Bytes{0x7E, 0x7D, 0x40, 0x7F}));

    // 512 reserved bytes frame to 1026 bytes; more than 512 typed bytes keep the first 512.
    Bytes big(600, 0x7E);
    big[511] = 0x7F;
    Submit(big);
    Channel().SendStep();
    ASSERT_EQ(transport.sent.size(), 3u);
    const Bytes& sent = transport.sent[2].bytes;
    ASSERT_EQ(sent.size(), 1026u);
    EXPECT_EQ(sent[1023], 0x7D);
    EXPECT_EQ(sent[1024], 0x3F);
    EXPECT_EQ(sent[1025], 0x7F);
    EXPECT_EQ(app.traces[4].bytes.size(), 512u);
}

TEST_F(SendStepTest, SendPortOutsideThePortRangeSendsNothing) {
    app.window.sendPort = "70000";
    const Bytes packet = {0x00, 0x30, 0x00};
    EXPECT_EQ(Channel().SendPacket(packet.data(), packet.size()), -1);
    EXPECT_TRUE(transport.sent.empty());
    EXPECT_TRUE(app.traces.empty());

    // A serial channel ignores the address altogether.
    transport.baudRate = 9600;
    EXPECT_EQ(Channel().SendPacket(packet.data(), packet.size()), 1);
    EXPECT_EQ(transport.sent.size(), 1u);
}

}  // namespace
}  // namespace tarvu::testing
