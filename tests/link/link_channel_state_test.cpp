#include "link/link_channel_state.h"

#include "link/link_channel.h"
#include "link_channel_fakes.h"

#include <gtest/gtest.h>

namespace tarvu::testing {
namespace {

TEST(LinkChannelState, StartsAsAFreshlyOpenedChannel) {
    FakeApplication app;
    app.config.parameters[kMinSendInterval] = 0x12345;  // only the low 16 bits count
    app.record.options = kOptionCipher;
    app.record.remoteAddress = 0xFFFFFFFF;
    app.record.remotePort = 10001;
    app.record.key[0] = 0xAB;
    app.record.key[31] = 0xCD;
    app.Start(1);
    FakeTransport transport;
    ChannelRequest request = UdpRequest(7);
    request.recordIndex = 2;
    LinkChannel channel(request, transport);
    const LinkChannel::State& s = channel.Internals();

    EXPECT_EQ(channel.ChannelNumber(), 7);
    EXPECT_EQ(channel.Request().recordIndex, 2);
    EXPECT_EQ(s.Parameter(kMinSendInterval), 0x2345);
    EXPECT_EQ(s.Parameter(kUserPacketWait), 300);
    // Every channel takes the blank default record: no cipher, no converter address...
    EXPECT_EQ(s.cipherOn, 0u);
    EXPECT_EQ(channel.RemoteAddress(), 0u);
    EXPECT_EQ(channel.RemotePort(), 0u);
    // ...but the key comes from the record of the channel's own request.
    EXPECT_EQ(s.cipherKey, app.record.key);
    ASSERT_EQ(app.lookups.size(), 1u);
    EXPECT_EQ(app.lookups[0].kind, kChannelKindUdp);
    EXPECT_EQ(app.lookups[0].channelNumber, 7);
    EXPECT_EQ(app.lookups[0].recordIndex, 0);

    EXPECT_EQ(s.measureSpacing, 1u);
    EXPECT_EQ(s.keyEstablished, 1u);
    EXPECT_EQ(s.currentDevice, -1);
    EXPECT_EQ(s.deviceStates[31].class5Count, 0);
    EXPECT_TRUE(s.sendQueue.Empty());
}

TEST(LinkChannelState, ConfiguredChannelTakesCipherAndConverterFromItsRecord) {
    FakeApplication app;
    app.record.options = kOptionCipher;
    app.record.remoteAddress = 0x0A01A8C0;
    app.record.remotePort = 10001;
    app.Start(0);
    FakeTransport transport;
    LinkChannel channel(UdpRequest(1), transport);
    EXPECT_EQ(channel.Internals().cipherOn, 1u);
    EXPECT_EQ(channel.RemoteAddress(), 0x0A01A8C0u);
    EXPECT_EQ(channel.RemotePort(), 10001u);

    // No record at all: plain, blank and with a zero key.
    app.hasRecord = false;
    LinkChannel bare(UdpRequest(2), transport);
    EXPECT_EQ(bare.Internals().cipherOn, 0u);
    EXPECT_EQ(bare.RemoteAddress(), 0u);
    EXPECT_EQ(bare.Internals().cipherKey, (std::array<uint8_t, 32>{}));
}

}  // namespace
}  // namespace tarvu::testing
