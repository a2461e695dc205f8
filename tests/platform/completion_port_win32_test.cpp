#include "platform/completion_port.h"
#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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

}  // namespace
}  // namespace tarvu
