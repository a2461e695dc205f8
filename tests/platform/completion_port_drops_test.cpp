// The kernel's drop counter of a socket, as the completion port tells it: each datagram taken
// carries the datagrams dropped just before it, and those dropped after the last one taken are
// asked for at the end. Together they are the socket's own count.

#include "platform/completion_port.h"
#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <linux/sock_diag.h>
#include <memory>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace tarvu {
namespace {

struct Op {
    Overlapped header;
    uint8_t data[500] = {};
    SocketAddressV4 from;
    uint32_t fromLength = 0;
};

uint32_t SocketDrops(const UdpSocket& socket) {
    uint32_t memory[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof memory;
    EXPECT_EQ(::getsockopt(socket.Handle(), SOL_SOCKET, SO_MEMINFO, memory, &length), 0);
    return memory[SK_MEMINFO_DROPS];
}

class CompletionPortDrops : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = CompletionPort::Create(1);
        ASSERT_NE(port_, nullptr);
        ASSERT_EQ(socket_.BindLoopback(0), 0);
        ASSERT_EQ(peer_.BindLoopback(0), 0);
        // A buffer of a few datagrams: a burst that nobody takes overflows it.
        const int size = 4096;
        ASSERT_EQ(::setsockopt(socket_.Handle(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size), 0);
        ASSERT_EQ(port_->Associate(socket_.Handle(), 4), 0);
        ASSERT_EQ(Post(), 1);  // nothing waits yet; the socket is asked for its facts
    }
    void TearDown() override { port_->Detach(socket_.Handle()); }

    int Post() {
        ops_.push_back(std::make_unique<Op>());
        Op& op = *ops_.back();
        return port_->PostReceiveFrom(socket_.Handle(), &op.header, op.data, sizeof op.data,
                                      &op.from, &op.fromLength);
    }
    // Datagrams numbered from `first`, sent while nothing takes them.
    void Burst(uint32_t first, uint32_t count) {
        for (uint32_t n = first; n < first + count; ++n) {
            uint8_t bytes[64] = {};
            std::memcpy(bytes, &n, sizeof n);
            ASSERT_EQ(peer_.SendTo(MakeSocketAddress(LoopbackAddress(), socket_.LocalPort()), bytes,
                                   sizeof bytes),
                      kSendDone);
        }
    }
    // Takes every datagram that comes within 200 ms; each as its number and the drops before it.
    std::vector<std::pair<uint32_t, uint32_t>> TakeAll() {
        std::vector<std::pair<uint32_t, uint32_t>> taken;
        Completion c;
        while (port_->Get(&c, 200)) {
            uint32_t n = 0;
            std::memcpy(&n, reinterpret_cast<Op*>(c.overlapped)->data, sizeof n);
            taken.emplace_back(n, c.datagram.droppedBefore);
            Post();
        }
        return taken;
    }

    std::unique_ptr<CompletionPort> port_;
    UdpSocket socket_ = UdpSocket::Create();
    UdpSocket peer_ = UdpSocket::Create();
    std::vector<std::unique_ptr<Op>> ops_;
};

TEST_F(CompletionPortDrops, GapsAreToldWhereTheyWereAndAddUpToTheSocketsCount) {
    Burst(0, 200);
    std::vector<std::pair<uint32_t, uint32_t>> taken = TakeAll();
    ASSERT_FALSE(taken.empty());
    const uint32_t lost = SocketDrops(socket_);
    ASSERT_GT(lost, 0u) << "the burst did not overflow the socket";
    // The first ones fitted; the rest were dropped after the last one taken.
    EXPECT_EQ(port_->DropsAfterLastDatagram(socket_.Handle()), lost);

    // The next datagram carries that gap.
    Burst(1000, 1);
    const std::vector<std::pair<uint32_t, uint32_t>> next = TakeAll();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].second, lost);
    EXPECT_EQ(port_->DropsAfterLastDatagram(socket_.Handle()), 0u);
    taken.push_back(next[0]);

    // Every jump in the numbers is a gap told with the datagram after it (the marker's jump
    // is no gap: 200 to 999 were never sent), and nothing else is.
    uint64_t told = 0;
    uint32_t previous = UINT32_MAX;  // one before the first number, 0
    for (const auto& [number, droppedBefore] : taken) {
        if (number != 1000) {
            EXPECT_EQ(droppedBefore, number - previous - 1) << "datagram " << number;
        }
        told += droppedBefore;
        previous = number;
    }
    EXPECT_EQ(told, lost);
    EXPECT_EQ(taken.size() - 1 + lost, 200u);

    // Drops after datagrams still waiting unread count as after the last one taken.
    Burst(2000, 200);
    EXPECT_EQ(port_->DropsAfterLastDatagram(socket_.Handle()), SocketDrops(socket_) - lost);
    EXPECT_GT(SocketDrops(socket_), lost);
}

}  // namespace
}  // namespace tarvu
