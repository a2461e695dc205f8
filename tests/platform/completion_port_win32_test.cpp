#include "platform/completion_port.h"
#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>
#include <windows.h>

namespace tarvu {
namespace {

struct Op {
    Overlapped header;
    uint8_t data[500] = {};
    SocketAddressV4 from;
    uint32_t fromLength = 0;
};

// Detaching cancels every outstanding operation in the system; each comes back once, aborted,
// in whatever order the system chooses, and nothing more can be started on the handle.
TEST(CompletionPort, DetachAbortsEveryOutstandingOperationOnce) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = UdpSocket::Create();
    ASSERT_TRUE(socket.Valid());
    ASSERT_EQ(socket.BindLoopback(0), 0);
    ASSERT_EQ(port->Associate(socket.Handle(), 5), 0);
    Op first, second, ready;
    const auto receive = [&](Op& op) {
        return port->PostReceiveFrom(socket.Handle(), &op.header, op.data, sizeof op.data, &op.from,
                                     &op.fromLength);
    };
    EXPECT_EQ(receive(first), 1);
    EXPECT_EQ(receive(second), 1);
    EXPECT_EQ(port->PostReadiness(socket.Handle(), &ready.header), 1);

    port->Detach(socket.Handle());
    std::vector<Overlapped*> aborted;
    Completion c;
    while (port->Get(&c, 200)) {
        EXPECT_EQ(c.error, kErrorOperationAborted);
        EXPECT_EQ(c.bytes, 0u);
        EXPECT_EQ(c.key, 5u);
        aborted.push_back(c.overlapped);
    }
    std::vector<Overlapped*> expected = {&first.header, &second.header, &ready.header};
    std::sort(aborted.begin(), aborted.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(aborted, expected);
    EXPECT_EQ(first.header.status, kErrorOperationAborted);
    EXPECT_EQ(receive(first), -1);
    EXPECT_EQ(port->PostReadiness(socket.Handle(), &ready.header), -1);
}

// A readiness wait started on a socket where a datagram already waits finishes at once, with
// "message too long" (the wait peeks with no buffer). That status is a warning, so the system
// queues the wait's completion itself: the port must not queue one more of its own, which would
// hand the record out a second time after its owner had reused it.
TEST(CompletionPort, ReadinessOnAWaitingDatagramCompletesOnce) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = UdpSocket::Create();
    UdpSocket peer = UdpSocket::Create();
    ASSERT_EQ(socket.BindLoopback(0), 0);
    ASSERT_EQ(peer.BindLoopback(0), 0);
    ASSERT_EQ(port->Associate(socket.Handle(), 6), 0);
    const uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(peer.SendTo(MakeSocketAddress(LoopbackAddress(), socket.LocalPort()), data, 4),
              kSendDone);
    ::Sleep(50);

    Op ready;
    EXPECT_EQ(port->PostReadiness(socket.Handle(), &ready.header), 1);
    Completion c;
    ASSERT_TRUE(port->Get(&c, 2000));
    EXPECT_EQ(c.overlapped, &ready.header);
    EXPECT_EQ(c.bytes, 0u);
    EXPECT_EQ(c.error, kErrorNone);
    EXPECT_FALSE(port->Get(&c, 300)) << "a second completion of the same readiness wait";

    // The datagram is still there for a read.
    Op op;
    EXPECT_GE(port->PostReceiveFrom(socket.Handle(), &op.header, op.data, sizeof op.data, &op.from,
                                    &op.fromLength),
              0);
    ASSERT_TRUE(port->Get(&c, 2000));
    EXPECT_EQ(c.overlapped, &op.header);
    EXPECT_EQ(c.bytes, 4u);
    EXPECT_FALSE(port->Get(&c, 300));
    port->Detach(socket.Handle());
}

// The system writes an aborted operation's record (and a receive's buffer and source) when it
// finishes the operation, which may be after the handle and the port were closed. Once the
// port is gone, its owner releases the records, so the port must have taken every operation
// the system still owned before it goes.
TEST(CompletionPort, NothingIsWrittenToOperationsAfterThePortIsGone) {
    for (int round = 0; round < 20; ++round) {
        auto port = CompletionPort::Create(1);
        ASSERT_NE(port, nullptr);
        UdpSocket socket = UdpSocket::Create();
        ASSERT_TRUE(socket.Valid());
        ASSERT_EQ(socket.BindLoopback(0), 0);
        ASSERT_EQ(port->Associate(socket.Handle(), 7), 0);
        std::vector<std::unique_ptr<Op>> ops;
        for (int i = 0; i < 4; ++i) {
            ops.push_back(std::make_unique<Op>());
        }
        // The operations are started by another thread, as workers do; the system finishes
        // them in that thread's waits.
        std::atomic<int> started{0};
        std::atomic<bool> portGone{false};
        std::thread poster([&] {
            for (int i = 0; i < 3; ++i) {
                Op& op = *ops[i];
                started += port->PostReceiveFrom(socket.Handle(), &op.header, op.data,
                                                 sizeof op.data, &op.from, &op.fromLength);
            }
            started += port->PostReadiness(socket.Handle(), &ops[3]->header);
            while (!portGone.load()) {
                ::SleepEx(1, TRUE);
            }
            ::SleepEx(30, TRUE);
        });
        while (started.load() < 4) {
            ::Sleep(1);
        }

        // The final shutdown: the handle is detached and closed with its operations
        // outstanding, nobody takes completions any more, and the port is closed.
        port->Detach(socket.Handle());
        socket.Close();
        port.reset();

        // Whatever the records hold now is their owner's; a late write from the system
        // would change it.
        for (auto& op : ops) {
            std::memset(static_cast<void*>(op.get()), 0xA5, sizeof(Op));
        }
        portGone = true;
        poster.join();
        for (size_t i = 0; i < ops.size(); ++i) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(ops[i].get());
            const size_t changed =
                std::count_if(bytes, bytes + sizeof(Op), [](uint8_t b) { return b != 0xA5; });
            EXPECT_EQ(changed, 0u) << "round " << round << ", operation " << i;
        }
    }
}

}  // namespace
}  // namespace tarvu
