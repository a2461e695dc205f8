#include "link/link_channel.h"
#include "link_channel_fakes.h"

#include <gtest/gtest.h>

namespace tarvu::testing {
namespace {

class ReceivePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.Start();
        channel = std::make_unique<LinkChannel>(UdpRequest(1), transport);
    }

    void Receive(const Bytes& chunk, uint32_t address = kConverter) {
        channel->ReceiveChunk(nsAddress{address, 10001}, chunk.data(), chunk.size());
    }

    static constexpr uint32_t kConverter = 0x0A01A8C0;  // 192.168.1.10 in network order
    FakeApplication app;
    FakeTransport transport;
    std::unique_ptr<LinkChannel> channel;
};

TEST_F(ReceivePathTest, SwitchOffTracesTheRawChunkOnly) {
    Receive({0x7E, 0x41, 0x7F});
    ASSERT_EQ(app.traces.size(), 1u);
    const TraceEntry& entry = app.traces[0];
    EXPECT_EQ(entry.channel, channel.get());
    EXPECT_EQ(entry.bytes, (Bytes{0x7E, 0x41, 0x7F}));
    EXPECT_EQ(entry.direction, 0);
    EXPECT_EQ(entry.stage, 0);
    EXPECT_EQ(entry.address, kConverter);
    EXPECT_EQ(entry.port, 10001u);
    EXPECT_EQ(channel->RemoteAddress(), 0u);
}

TEST_F(ReceivePathTest, SwitchOnTracesEachDecodedFrameAfterTheChunk) {
    app.window.substitution = true;
    Receive({0x7E, 0x41, 0x7F, 0x7E, 0x7F});
    ASSERT_EQ(app.traces.size(), 3u);
    EXPECT_EQ(app.traces[0].stage, 0);
    EXPECT_EQ(app.traces[0].bytes.size(), 5u);
    EXPECT_EQ(app.traces[1].stage, 1);
    EXPECT_EQ(app.traces[1].bytes, (Bytes{0x41}));
    EXPECT_EQ(app.traces[1].direction, 0);
    EXPECT_EQ(app.traces[2].stage, 1);
    EXPECT_TRUE(app.traces[2].bytes.empty());  // 7E 7F: an empty packet is still traced
}

TEST_F(ReceivePathTest, FramesSpanChunksWhileTheSwitchStaysOn) {
    app.window.substitution = true;
    Receive({0x7E, 0x41});  // no 7F yet: raw trace only, bytes kept
    ASSERT_EQ(app.traces.size(), 1u);
    Receive({0x7D, 0x3E, 0x42, 0x7F});
    ASSERT_EQ(app.traces.size(), 3u);
    EXPECT_EQ(app.traces[2].bytes, (Bytes{0x41, 0x7E, 0x42}));

    // With the switch off the decoder sees nothing, so a frame it did not see the start of
    // yields nothing later.
    app.window.substitution = false;
    Receive({0x7E, 0x43});
    app.window.substitution = true;
    Receive({0x44, 0x7F});
    EXPECT_EQ(app.traces.size(), 5u);
}

TEST_F(ReceivePathTest, AnyPeerAnsweringAFrameBecomesTheRemembered) {
    channel->SetRemote(kConverter, 10001);
    app.window.substitution = true;
    Receive({0x7E, 0x41, 0x7F}, 0x0100007F);
    EXPECT_EQ(channel->RemoteAddress(), 0x0100007Fu);
    EXPECT_EQ(channel->RemotePort(), 10001u);
    EXPECT_EQ(app.traces[0].address, 0x0100007Fu);

    // A chunk that completes no frame leaves the address alone.
    Receive({0x41, 0x42}, kConverter);
    EXPECT_EQ(channel->RemoteAddress(), 0x0100007Fu);
}

TEST_F(ReceivePathTest, WithoutAMainWindowChunksAreTracedRaw) {
    app.hasWindow = false;
    Receive({0x7E, 0x41, 0x7F});
    EXPECT_EQ(app.traces.size(), 1u);
}

}  // namespace
}  // namespace tarvu::testing
