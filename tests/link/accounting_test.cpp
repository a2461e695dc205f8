#include "link_channel_fakes.h"

#include <gtest/gtest.h>

namespace tarvu::testing {
namespace {

using AccountingTest = ChannelTest;

// A device whose polls run out gets deviceRetries class-5 requests; when those run out it is
// reported lost once, and its later requests keep the counter at 254/255 without reports.
TEST_F(AccountingTest, DeviceRunsOutOfPollsThenRequestsAndIsReportedOnce) {
    S().deviceActive[4] = 1;  // address 5
    DeviceState& device = S().deviceStates[4];
    device.state = kDeviceRequestClass4;
    device.class3Count = 1;
    device.class4Count = 2;

    Channel().SendStep();  // poll 11 05 00 30 00: the last poll
    EXPECT_EQ(device.state, kDeviceRequestClass5);
    EXPECT_EQ(device.class5Count, 3);  // deviceRetries
    Channel().SendStep();              // the class-4 request queued in the same run
    EXPECT_EQ(device.class4Count, 1);
    EXPECT_EQ(device.class5Count, 3);

    std::vector<uint8_t> counts;
    for (int i = 0; i < 6; ++i) {
        Channel().SendStep();
        counts.push_back(device.class5Count);
    }
    const Bytes request = {0x11, 0x05, 0x00, 0x50, 0x05, 0x05};
    EXPECT_EQ(transport.sent, (std::vector<Bytes>{{0x11, 0x05, 0x00, 0x30, 0x00},
                                                  {0x11, 0x05, 0x00, 0x40, 0x01},
                                                  request,
                                                  request,
                                                  request,
                                                  request,
                                                  request,
                                                  request}));
    EXPECT_EQ(counts, (std::vector<uint8_t>{2, 1, 255, 255, 255, 255}));
    ASSERT_EQ(app.described.size(), 1u);
    EXPECT_EQ(app.described[0].Code(), 0x40u);
    EXPECT_EQ(app.described[0].DeviceAddress(), 0);  // device type 819 names no device
    EXPECT_EQ(device.state, kDeviceRequestClass5);
}

TEST_F(AccountingTest, ClassFourRunningOutGoesStraightIntoTheClassFiveRule) {
    app.config.parameters[kDeviceRetries] = 0;
    Reopen();
    app.record.deviceType = 1208;
    S().deviceStates[6].class4Count = 1;
    QueueAccounted({0x11, 0x07, 0x00, 0x40, 0x01});
    Channel().SendStep();
    // No retries granted: the same send reports the device, named for this device type.
    EXPECT_EQ(S().deviceStates[6].class5Count, 255);
    ASSERT_EQ(app.described.size(), 1u);
    EXPECT_EQ(app.described[0].DeviceAddress(), 7);

    // Only a configured channel's record reports; without a record nothing is reported.
    app.record.flags = 0;
    S().deviceStates[7].class5Count = 1;
    QueueAccounted({0x11, 0x08, 0x00, 0x50, 0x05, 0x08});
    Channel().SendStep();
    app.hasRecord = false;
    S().deviceStates[8].class5Count = 1;
    QueueAccounted({0x11, 0x09, 0x00, 0x50, 0x05, 0x09});
    Channel().SendStep();
    EXPECT_EQ(app.described.size(), 1u);
    EXPECT_EQ(S().deviceStates[8].class5Count, 255);
}

TEST_F(AccountingTest, MessageRepeatsWhileTheApplicationHandsItOut) {
    app.config.parameters[kMessageAttempts] = 3;
    Reopen();
    app.message.SetCode(0xA6);
    app.message.SetDeviceAddress(3);
    app.message.SetParameter(0x05);
    app.message.SetExtra(0x22);
    app.messagesLeft = 3;  // the application's messageRepeats

    int steps = 0;
    while (Channel().SendStep() == 1 && steps < 10) {
        ++steps;
    }
    const Bytes message = {0x11, 0x03, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1};
    EXPECT_EQ(transport.sent, (std::vector<Bytes>{message, message, message}));
    // Intake peeks and takes; each accounted send peeks again and takes while one is there.
    EXPECT_EQ(app.fetchTakes, (std::vector<int>{0, 1, 0, 1, 0, 1, 0, 0}));
    EXPECT_EQ(S().attemptCounter, 1);
    EXPECT_EQ(S().currentMessage, nullptr);
    EXPECT_EQ(S().deviceStates[2].messagePending, 0u);
    EXPECT_EQ(S().deviceStates[2].class3Count, 253);
    for (const std::string& event : transport.events) {
        if (event.rfind("sleep", 0) == 0) {
            EXPECT_EQ(event, "sleep 3000");  // messageWait for the copy and its repetitions
        }
    }
}

TEST_F(AccountingTest, AddressesWithoutAnEntryAreSentWithoutAccounting) {
    S().deviceStates[0].class5Count = 1;
    S().deviceStates[31].class5Count = 1;
    QueueAccounted({0x11, 0x00, 0x00, 0x50, 0x05, 0x00});        // device address 0
    QueueAccounted({0x11, 0x21, 0x00, 0x50, 0x05, 0x21});        // 33
    QueueAccounted({0x21, 0x01, 0x01, 0x00, 0x50, 0x05, 0x01});  // 257: low byte 1
    QueueAccounted({0x01, 0x05, 0x50, 0x05});                    // no device address field
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Channel().SendStep(), 1);
    }
    // A fetched message for device 0 is queued and sent the same way.
    app.message.SetCode(0xA3);
    app.message.SetParameter(0x07);
    app.messagesLeft = 1;
    EXPECT_EQ(Channel().SendStep(), 1);
    EXPECT_EQ(transport.sent.back(), (Bytes{0x11, 0x00, 0x00, 0x30, 0x10, 0xA3, 0x07, 0x00, 0xD1}));
    EXPECT_EQ(transport.sent.size(), 5u);
    for (const DeviceState& entry : S().deviceStates) {
        EXPECT_EQ(entry.class3Count, 0);
        EXPECT_EQ(entry.messagePending, 0u);
    }
    EXPECT_EQ(S().deviceStates[0].class5Count, 1);
    EXPECT_EQ(S().deviceStates[31].class5Count, 1);
    EXPECT_TRUE(app.described.empty());
}

}  // namespace
}  // namespace tarvu::testing
