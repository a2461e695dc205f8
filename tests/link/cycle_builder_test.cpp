#include "encrypted_send_decrypt.h"
#include "link_channel_fakes.h"

#include <gtest/gtest.h>

namespace tarvu::testing {
namespace {

using Events = std::vector<std::string>;

int64_t gCounter = 0;
constexpr PacingClock kFakeClock{[] { return gCounter; }, [] { return int64_t{1000}; }};

class CycleBuilderTest : public ChannelTest {
protected:
    void SetMessage(uint32_t code, uint8_t device, uint8_t parameter, uint8_t extra, int count) {
        app.message = MessageRecord{};
        app.message.SetCode(code);
        app.message.SetDeviceAddress(device);
        app.message.SetParameter(parameter);
        app.message.SetExtra(extra);
        app.messagesLeft = count;
    }
    void Activate(size_t index, uint8_t state) {
        S().deviceActive[index] = 1;
        S().deviceStates[index].state = state;
        // Enough in every counter that no accounting rule fires during the test.
        S().deviceStates[index].class3Count = 100;
        S().deviceStates[index].class4Count = 100;
        S().deviceStates[index].class5Count = 100;
    }
};

TEST_F(CycleBuilderTest, EmptyQueueTakesTheApplicationsNextMessage) {
    app.config.parameters[kFirstSendDelay] = 500;
    Reopen();
    SetMessage(0xA6, 3, 0x05, 0x22, 1);
    EXPECT_EQ(Channel().SendStep(), 1);

    EXPECT_EQ(app.fetchTakes, (std::vector<int>{0, 1}));  // peeked, then taken
    EXPECT_EQ(transport.sent,
              (std::vector<Bytes>{{0x11, 0x03, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}}));
    // The run arms the first-send delay; the fetched copy waits messageWait.
    EXPECT_EQ(transport.events, (Events{"sleep 500", "send", "sleep 3000"}));
    // Its first send is accounted: the current message is released.
    EXPECT_EQ(S().currentMessage, nullptr);
    EXPECT_EQ(S().deviceStates[2].messagePending, 0u);
    EXPECT_EQ(S().deviceStates[2].class3Count, 255);
    EXPECT_EQ(S().attemptCounter, 1);

    // Nothing handed out: nothing queued, the timer left alone.
    transport.events.clear();
    app.fetchTakes.clear();
    EXPECT_EQ(Channel().SendStep(), 0);
    EXPECT_EQ(app.fetchTakes, (std::vector<int>{0}));
    EXPECT_TRUE(transport.events.empty());
}

TEST_F(CycleBuilderTest, VisitSelectsTheNextActiveDeviceWithARequestAndPollsTheClassFourOnes) {
    app.config.parameters[kPollDivisor] = 3;
    Reopen();
    S().clock = kFakeClock;
    Activate(2, kDeviceRequestClass4);                  // address 3
    Activate(5, kDeviceRequestClass5);                  // address 6
    Activate(9, kDeviceIdle);                           // active without a request: skipped
    S().deviceStates[12].state = kDeviceRequestClass4;  // a request but not active: skipped

    gCounter = 1000;
    for (int i = 0; i < 6; ++i) {
        gCounter += 10;
        Channel().SendStep();
        if (i == 1) {
            EXPECT_EQ(S().cycleCounter, 1);
            EXPECT_EQ(S().currentDevice, 2);
            EXPECT_EQ(S().lastSendTime, 1010);  // measured on the first step only
        }
    }
    const std::vector<Bytes> expected = {
        {0x11, 0x03, 0x00, 0x30, 0x00},        // run 1 from device 0: polls of class-4 devices,
        {0x11, 0x03, 0x00, 0x40, 0x01},        // then the request of device index 2
        {0x11, 0x03, 0x00, 0x30, 0x00},        // run 2 from index 3 selects index 5
        {0x11, 0x06, 0x00, 0x50, 0x05, 0x06},  // class-5 request: the address again as body
        {0x11, 0x03, 0x00, 0x30, 0x00},        // run 3 wraps past index 31: a device cycle ends
        {0x11, 0x03, 0x00, 0x40, 0x01},
    };
    EXPECT_EQ(transport.sent, expected);
    // The cycle's end asked for a spacing measurement on the next send.
    EXPECT_EQ(S().lastSendTime, 1050);
    EXPECT_EQ(S().cycleCounter, 0);  // three runs with divisor 3
    for (const std::string& event : transport.events) {
        if (event.rfind("sleep", 0) == 0) {
            EXPECT_EQ(event, "sleep 2000");  // device packets wait commandWait
        }
    }
}

TEST_F(CycleBuilderTest, AVisitAfterTheLastDeviceStartsANewCycle) {
    S().clock = kFakeClock;
    gCounter = 100;
    SetMessage(0xA3, 1, 0, 0, 1);
    Channel().SendStep();  // the first measurement records the time
    EXPECT_EQ(S().lastSendTime, 100);
    EXPECT_EQ(S().measureSpacing, 0u);

    // From start 0 the visit covers indices 0 to 31 and does not move on to 0: no cycle ends,
    // so nothing is measured.
    gCounter = 200;
    SetMessage(0xA3, 1, 0, 0, 1);
    Channel().SendStep();
    EXPECT_EQ(S().lastSendTime, 100);
    EXPECT_EQ(S().measureSpacing, 0u);
    EXPECT_EQ(S().currentDevice, -1);

    // A visit that starts further on passes index 31 on to 0, which ends a cycle.
    S().currentDevice = 5;
    gCounter = 250;
    SetMessage(0xA3, 1, 0, 0, 1);
    Channel().SendStep();
    EXPECT_EQ(S().lastSendTime, 250);
    EXPECT_EQ(S().currentDevice, -1);

    // The last visited device was index 31: the next visit starts at 0 and ends a cycle.
    Activate(31, kDeviceRequestClass4);
    Channel().SendStep();
    EXPECT_EQ(S().currentDevice, 31);
    Channel().SendStep();
    S().deviceActive[31] = 0;
    Activate(0, kDeviceRequestClass4);
    gCounter = 300;
    Channel().SendStep();
    EXPECT_EQ(S().currentDevice, 0);
    EXPECT_EQ(S().lastSendTime, 300);
}

TEST_F(CycleBuilderTest, KeyExchangeVisitTurnsTheCipherOnAndAnnouncesTheKey) {
    app.record.key[0] = 0x42;
    Activate(2, kDeviceKeyExchange);
    EXPECT_EQ(S().cipherOn, 0u);
    Channel().SendStep();
    EXPECT_EQ(S().cipherOn, 1u);
    EXPECT_EQ(S().keyEstablished, 0u);
    ASSERT_EQ(transport.sent.size(), 1u);
    const Bytes& wire = transport.sent[0];
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 3), (Bytes{0x91, 0x03, 0x00}));
    const auto tail = TestDecryptTail(Bytes(wire.begin() + 3, wire.end()), app.record.key);
    ASSERT_TRUE(tail.has_value());
    ASSERT_EQ(tail->plain.size(), 2u + 64u);
    EXPECT_EQ(tail->plain[0], 0x62);
    EXPECT_EQ(tail->plain[1], 0x03);
    EXPECT_EQ(tail->plain[2 + 32], 0x01);  // exponent 65537, least significant byte first
    EXPECT_EQ(tail->plain[2 + 34], 0x01);
}

}  // namespace
}  // namespace tarvu::testing
