#include "link_channel_fakes.h"

#include <gtest/gtest.h>

namespace tarvu::testing {
namespace {

using LinkChannelTest = ChannelTest;

TEST_F(LinkChannelTest, OpensWithTheBlankRecordButTheOwnRecordsKey) {
    app.config.parameters[kMinSendInterval] = 0x12345;  // only the low 16 bits count
    app.record.options = kOptionCipher;
    app.record.remoteAddress = 0xFFFFFFFF;
    app.record.remotePort = 10001;
    app.record.key[31] = 0xCD;
    ChannelRequest request;
    request.kind = kChannelKindUdp;
    request.channelNumber = 7;
    request.recordIndex = 2;
    LinkChannel blank(request, transport);
    EXPECT_EQ(blank.Internals().Parameter(kMinSendInterval), 0x2345);
    EXPECT_EQ(blank.Internals().cipherOn, 0u);
    EXPECT_EQ(blank.RemoteAddress(), 0u);
    EXPECT_EQ(blank.Internals().cipherKey, app.record.key);
    ASSERT_EQ(app.lookups.size(), 1u);
    EXPECT_EQ(app.lookups[0].channelNumber, 7);
    EXPECT_EQ(app.lookups[0].recordIndex, 0);

    app.Start(0);  // configured channels take cipher and converter from their record
    LinkChannel configured(request, transport);
    EXPECT_EQ(configured.Internals().cipherOn, 1u);
    EXPECT_EQ(configured.RemoteAddress(), 0xFFFFFFFFu);
    EXPECT_EQ(configured.RemotePort(), 10001u);
    EXPECT_EQ(app.lookups[1].recordIndex, 2);
}

TEST_F(LinkChannelTest, CountersRunDownAndALostDeviceIsReportedOnce) {
    QueueAccounted({0x11, 0x04, 0x00, 0x30, 0x00});
    Channel().SendStep();
    EXPECT_EQ(S().deviceStates[3].class3Count, 255);  // 8-bit counters wrap
    EXPECT_EQ(S().deviceStates[3].lastKind, kLastKindPoll);

    S().deviceStates[1].class5Count = 1;
    for (int i = 0; i < 4; ++i) {
        QueueAccounted({0x11, 0x02, 0x00, 0x50, 0x05, 0x02});
        Channel().SendStep();
        EXPECT_GE(S().deviceStates[1].class5Count, 254);
    }
    ASSERT_EQ(app.described.size(), 1u);
    EXPECT_EQ(app.described[0].Code(), 0x40u);
    EXPECT_EQ(app.described[0].DeviceAddress(), 0);  // device type 819 names no device
    EXPECT_EQ(S().deviceStates[1].state, kDeviceRequestClass5);

    app.record.deviceType = 1192;
    S().deviceStates[8].class5Count = 1;
    QueueAccounted({0x11, 0x09, 0x00, 0x50, 0x05, 0x09});
    Channel().SendStep();
    ASSERT_EQ(app.described.size(), 2u);
    EXPECT_EQ(app.described[1].DeviceAddress(), 9);
}

TEST_F(LinkChannelTest, UnconfirmedMessageRepeatsAtTheHeadWhileAttemptsRemain) {
    app.config.parameters[kMessageAttempts] = 3;
    Reopen();
    app.message.SetCode(0xA6);
    app.message.SetDeviceAddress(3);
    app.message.SetParameter(0x05);
    app.message.SetExtra(0x22);
    app.messagesLeft = 2;
    const Bytes message = {0x11, 0x03, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1};
    QueueAccounted(message);
    QueueAccounted({0x11, 0x05, 0x00, 0x30, 0x00});
    S().attemptCounter = 1;
    Channel().SendStep();

    EXPECT_EQ(app.fetchTakes, (std::vector<int>{0, 1}));
    EXPECT_EQ(S().attemptCounter, 0);
    EXPECT_EQ(S().deviceStates[2].messagePending, 0u);
    EXPECT_EQ(S().sendQueue.Size(), 2u);
    EXPECT_EQ(HeadBytes(), message);  // ahead of the waiting poll
    EXPECT_EQ(S().sendQueue.Head()->wait, 3000u);

    // One attempt, as the application runs: nothing is fetched again.
    app.config.parameters[kMessageAttempts] = 1;
    Reopen();
    app.fetchTakes.clear();
    QueueAccounted(message);
    Channel().SendStep();
    EXPECT_EQ(S().attemptCounter, 1);
    EXPECT_TRUE(app.fetchTakes.empty());
}

}  // namespace
}  // namespace tarvu::testing
