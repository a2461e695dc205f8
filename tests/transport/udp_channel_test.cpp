#include "transport/libnet_provider.h"
#include "transport/submit_user_packet.h"
#include "transport_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tarvu::testing {
namespace {

using UdpChannel = TransportTest;

std::vector<uint8_t> Sequence(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    }
    return bytes;
}

TEST_F(UdpChannel, PacketLeavesAsOneDatagramFromTheReadPortAndRepliesAreDelivered) {
    const uint16_t readPort = OpenOnFreePort(1);
    ASSERT_NE(FindChannel(1), nullptr);

    const std::vector<uint8_t> packet = {0x05, 0x11, 0x22, 0x33, 0x44};
    ASSERT_EQ(SubmitUserPacket(packet.data(), static_cast<uint16_t>(packet.size())), 0);
    uint8_t got[600] = {};
    SocketAddressV4 from;
    ASSERT_EQ(peer.ReceiveFrom(got, sizeof got, &from, 2000), 5);
    EXPECT_TRUE(std::equal(packet.begin(), packet.end(), got));
    EXPECT_EQ(SocketAddressPort(from), readPort);
    EXPECT_EQ(peer.ReceiveFrom(got, sizeof got, &from, 100), -1);  // exactly one datagram

    const std::vector<uint8_t> reply = {0x7E, 0x41, 0x7F};
    PeerSend(readPort, reply);
    ASSERT_TRUE(WaitFor([&] { return !Received().empty(); }));
    const TraceEntry entry = Received().front();
    EXPECT_EQ(entry.bytes, reply);
    EXPECT_EQ(entry.stage, 0);
    EXPECT_EQ(entry.address, LoopbackAddress());
    EXPECT_EQ(entry.port, peer.LocalPort());
    EXPECT_EQ(entry.channel, &FindChannel(1)->Link());

    EXPECT_TRUE(WaitFor([&] { return SawDebugLine("nsIOT_RECV = 3 b 1\n"); }));
    EXPECT_TRUE(SawDebugLine(" nsT_TIMER_SEND 1\n"));
    EXPECT_TRUE(SawDebugLine(" nsIOT_SEND 1\n"));
}

TEST_F(UdpChannel, ReplyArrivingDuringTheStepWaitIsTracedBeforeTheNextSend) {
    Restart(1, 300);
    const uint16_t readPort = OpenOnFreePort(1);
    const std::vector<uint8_t> first = {0x11, 0x01, 0x00, 0x30, 0x00};
    const std::vector<uint8_t> second = {0x11, 0x02, 0x00, 0x30, 0x00};
    uint8_t got[64];

    // An echo peer: the reply lands at once, while the step sleeps its 300 ms; the next
    // packet is posted 100 ms later, still within that sleep.
    ASSERT_EQ(SubmitUserPacket(first.data(), 5), 0);
    ASSERT_EQ(peer.ReceiveFrom(got, sizeof got, nullptr, 2000), 5);
    PeerSend(readPort, first);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(SubmitUserPacket(second.data(), 5), 0);
    ASSERT_EQ(peer.ReceiveFrom(got, sizeof got, nullptr, 2000), 5);
    PeerSend(readPort, second);
    ASSERT_TRUE(WaitFor([&] { return Received().size() >= 2; }));

    const std::vector<TraceEntry> traced = Traced();
    ASSERT_EQ(traced.size(), 4u);
    const std::pair<int, std::vector<uint8_t>> expected[] = {
        {1, first}, {0, first}, {1, second}, {0, second}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(traced[i].direction, expected[i].first) << i;
        EXPECT_EQ(traced[i].bytes, expected[i].second) << i;
    }
}

TEST_F(UdpChannel, DatagramSizesAtTheReceiveLimit) {
    const uint16_t readPort = OpenOnFreePort(1);
    const std::vector<uint8_t> whole = Sequence(500);
    const std::vector<uint8_t> longer = Sequence(620);

    PeerSend(readPort, whole);
    PeerSend(readPort, longer);
    PeerSend(readPort, {});
    PeerSend(readPort, {0xAA});
    ASSERT_TRUE(WaitFor([&] { return Received().size() >= 3; }));
    const std::vector<TraceEntry> received = Received();
    ASSERT_EQ(received.size(), 3u);  // the empty datagram is not delivered
    EXPECT_EQ(received[0].bytes, whole);
    EXPECT_EQ(received[1].bytes, std::vector<uint8_t>(longer.begin(), longer.begin() + 500));
    EXPECT_EQ(received[2].bytes, std::vector<uint8_t>{0xAA});
    EXPECT_TRUE(SawDebugLine("nsIOT_RECV = 0 b 1\n"));
}

TEST_F(UdpChannel, PortUnreachableDoesNotStopReception) {
    const uint16_t readPort = OpenOnFreePort(1);
    window.Set(FreePort(), std::to_string(readPort));  // nobody listens there
    const uint8_t packet[2] = {0x01, 0x02};
    ASSERT_EQ(SubmitUserPacket(packet, 2), 0);
    // The refused datagram completes the posted receive with 0 bytes.
    ASSERT_TRUE(WaitFor([&] { return SawDebugLine("nsIOT_RECV = 0 b 1\n"); }));

    PeerSend(readPort, {0x33, 0x44});
    ASSERT_TRUE(WaitFor([&] { return !Received().empty(); }));
    EXPECT_EQ(Received().front().bytes, (std::vector<uint8_t>{0x33, 0x44}));

    // The next packet still leaves.
    window.Set(peer.LocalPort(), std::to_string(readPort));
    ASSERT_EQ(SubmitUserPacket(packet, 2), 0);
    uint8_t got[8];
    EXPECT_EQ(peer.ReceiveFrom(got, sizeof got, nullptr, 2000), 2);
}

TEST_F(UdpChannel, ReadPortZeroLeavesTheSocketUnboundAndDeaf) {
    window.Set(peer.LocalPort(), "0");
    ASSERT_EQ(OpenChannel(Request(1)), 0);
    ASSERT_NE(FindChannel(1), nullptr);
    EXPECT_TRUE(MessageBoxes().empty());

    const uint8_t packet[1] = {0x09};
    ASSERT_EQ(SubmitUserPacket(packet, 1), 0);
    uint8_t got[8];
    SocketAddressV4 from;
    ASSERT_EQ(peer.ReceiveFrom(got, sizeof got, &from, 2000), 1);
    // Replies to wherever the datagram came from find no receive posted.
    PeerSend(SocketAddressPort(from), {0x01});
    EXPECT_FALSE(WaitFor([&] { return !Received().empty(); }, 150));
}

TEST_F(UdpChannel, SendsThatCannotLeaveFail) {
    OpenOnFreePort(1);
    cnsLibnetProvider* channel = FindChannel(1);
    ASSERT_NE(channel, nullptr);
    const uint8_t byte = 0x01;
    // The socket is not allowed to broadcast.
    EXPECT_EQ(channel->Send(nsAddress{0xFFFFFFFFu, 9}, &byte, 1), -1);
    // More than the record's send area holds.
    const std::vector<uint8_t> huge(kSendAreaSize + 1, 0x55);
    EXPECT_EQ(
        channel->Send(nsAddress{LoopbackAddress(), peer.LocalPort()}, huge.data(), huge.size()),
        -1);
    EXPECT_EQ(channel->Driver()->Send(nullptr, nullptr, 1, 0, 0), -1);

    // The overlapped send keeps its own copy: the caller's buffer may change at once.
    std::vector<uint8_t> frame = {0x7E, 0x01, 0x7F};
    EXPECT_EQ(channel->Send(nsAddress{LoopbackAddress(), peer.LocalPort()}, frame.data(), 3), 0);
    frame.assign(3, 0);
    uint8_t got[8] = {};
    ASSERT_EQ(peer.ReceiveFrom(got, sizeof got, nullptr, 2000), 3);
    EXPECT_EQ(got[1], 0x01);
}

}  // namespace
}  // namespace tarvu::testing
