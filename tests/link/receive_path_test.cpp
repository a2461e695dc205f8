#include "link_channel_fakes.h"

#include <gtest/gtest.h>

namespace tarvu::testing {
namespace {

constexpr uint32_t kConverter = 0x0A01A8C0;  // 192.168.1.10 in network order
constexpr uint32_t kOtherHost = 0x0100007F;

class ReceivePathTest : public ChannelTest {
protected:
    void Receive(const Bytes& chunk, uint32_t from = kConverter) {
        Channel().ReceiveChunk(nsAddress{from, 10001}, chunk.data(), chunk.size());
    }
    std::vector<Bytes> Traced(int stage) {
        std::vector<Bytes> out;
        for (const TraceEntry& t : app.traces) {
            if (t.stage == stage) {
                out.push_back(t.bytes);
            }
        }
        return out;
    }
};

TEST_F(ReceivePathTest, SwitchOffTracesTheRawChunkOnly) {
    Receive({0x7E, 0x41, 0x7F});
    ASSERT_EQ(app.traces.size(), 1u);
    const TraceEntry& t = app.traces[0];
    EXPECT_EQ(t.channel, &Channel());
    EXPECT_EQ(t.bytes, (Bytes{0x7E, 0x41, 0x7F}));
    EXPECT_EQ(t.direction, 0);
    EXPECT_EQ(t.stage, 0);
    EXPECT_EQ(t.address, kConverter);
    EXPECT_EQ(t.port, 10001u);
    EXPECT_EQ(Channel().RemoteAddress(), 0u);
}

TEST_F(ReceivePathTest, SwitchOnTracesEachDecodedFrameAfterItsChunk) {
    app.window.substitution = true;
    Receive({0x7E, 0x41, 0x7F, 0x7E, 0x7F});
    Receive({0x7E, 0x41});  // no 7F yet: the bytes wait in the decoder
    EXPECT_EQ(app.traces.size(), 4u);
    Receive({0x7D, 0x3E, 0x42, 0x7F});
    EXPECT_EQ(Traced(0).size(), 3u);
    EXPECT_EQ(Traced(1), (std::vector<Bytes>{{0x41}, {}, {0x41, 0x7E, 0x42}}));
    EXPECT_EQ(app.traces[1].stage, 1);  // right after the chunk that completed it
    EXPECT_EQ(app.traces[1].direction, 0);

    // A chunk received with the switch off never reaches the decoder.
    app.window.substitution = false;
    Receive({0x7E, 0x43});
    app.window.substitution = true;
    Receive({0x44, 0x7F});
    EXPECT_EQ(Traced(1).size(), 3u);
}

TEST_F(ReceivePathTest, APeerAnsweringAFrameBecomesTheRememberedConverter) {
    Channel().SetRemote(kConverter, 10001);
    app.window.substitution = true;
    Receive({0x41, 0x42}, kOtherHost);  // no frame: nothing remembered
    EXPECT_EQ(Channel().RemoteAddress(), kConverter);
    Receive({0x7E, 0x41, 0x7F}, kOtherHost);
    EXPECT_EQ(Channel().RemoteAddress(), kOtherHost);
    EXPECT_EQ(Channel().RemotePort(), 10001u);
}

}  // namespace
}  // namespace tarvu::testing
