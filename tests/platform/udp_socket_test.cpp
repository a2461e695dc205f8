#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <thread>

namespace tarvu {
namespace {

TEST(UdpSocket, BindRefusesAPortInUse) {
    UdpSocket first = UdpSocket::Create();
    ASSERT_EQ(first.Bind(0), 0);
    const uint16_t port = first.LocalPort();
    ASSERT_NE(port, 0);
    UdpSocket second = UdpSocket::Create();
    TakeLastBindFailure();
    EXPECT_EQ(second.Bind(port), -1);
    // The reason stays with this thread until taken.
    BindFailure elsewhere = BindFailure::kOther;
    std::thread([&elsewhere] { elsewhere = TakeLastBindFailure(); }).join();
    EXPECT_EQ(elsewhere, BindFailure::kNone);
    EXPECT_EQ(TakeLastBindFailure(), BindFailure::kAddressInUse);
    EXPECT_EQ(TakeLastBindFailure(), BindFailure::kNone);
    EXPECT_EQ(second.Bind(port), -1);
    first.Close();
    EXPECT_EQ(second.Bind(port), 0);
    EXPECT_EQ(second.LocalPort(), port);
    EXPECT_EQ(TakeLastBindFailure(), BindFailure::kNone);
}

TEST(UdpSocket, BroadcastWithoutPermissionFailsAndNothingIsSent) {
    UdpSocket socket = UdpSocket::Create();
    ASSERT_EQ(socket.SetBroadcast(0), 0);
    const uint8_t byte = 1;
    EXPECT_EQ(socket.SendTo(MakeSocketAddress(0xFFFFFFFFu, 9), &byte, 1), kSendFailed);
}

TEST(UdpSocket, DatagramRoundTripReportsFullLength) {
    UdpSocket a = UdpSocket::Create();
    UdpSocket b = UdpSocket::Create();
    ASSERT_EQ(a.BindLoopback(0), 0);
    ASSERT_EQ(b.BindLoopback(0), 0);
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(a.SendTo(MakeSocketAddress(LoopbackAddress(), b.LocalPort()), data, 5), kSendDone);
    uint8_t got[3] = {};
    SocketAddressV4 from;
    EXPECT_EQ(b.ReceiveFrom(got, 3, &from, 2000), 5);
    EXPECT_EQ(got[2], 3);
    EXPECT_EQ(SocketAddressPort(from), a.LocalPort());
    EXPECT_EQ(b.ReceiveFrom(got, 3, &from, 20), -1);
}

}  // namespace
}  // namespace tarvu
