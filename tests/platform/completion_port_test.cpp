#include "platform/completion_port.h"

#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tarvu {
namespace {

using Clock = std::chrono::steady_clock;

struct Op {
    Overlapped header;
    uint8_t data[500] = {};
    SocketAddressV4 from;
    uint32_t fromLength = 0;
};

UdpSocket LoopbackSocket() {
    UdpSocket s = UdpSocket::Create();
    EXPECT_TRUE(s.Valid());
    EXPECT_EQ(s.BindLoopback(0), 0);
    return s;
}

SocketAddressV4 To(const UdpSocket& s) {
    return MakeSocketAddress(LoopbackAddress(), s.LocalPort());
}

int Receive(CompletionPort& port, const UdpSocket& s, Op& op) {
    return port.PostReceiveFrom(s.Handle(), &op.header, op.data, sizeof op.data, &op.from,
                                &op.fromLength);
}

TEST(CompletionPort, PostsComeOutInOrderWithTheirKeysAndCounts) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    Op a, b;
    port->Post(0, 7, &a.header);
    port->Post(12, 9, &b.header);
    port->Post(3, 11, nullptr);

    Completion c;
    ASSERT_TRUE(port->Get(&c, 1000));
    EXPECT_EQ(c.key, 7u);
    EXPECT_EQ(c.bytes, 0u);
    EXPECT_EQ(c.overlapped, &a.header);
    ASSERT_TRUE(port->Get(&c, 1000));
    EXPECT_EQ(c.key, 9u);
    EXPECT_EQ(c.bytes, 12u);
    EXPECT_EQ(c.overlapped, &b.header);
    EXPECT_EQ(b.header.bytes, 12u);
    ASSERT_TRUE(port->Get(&c, 1000));
    EXPECT_EQ(c.overlapped, nullptr);
    EXPECT_EQ(c.error, kErrorNone);

    const auto start = Clock::now();
    EXPECT_FALSE(port->Get(&c, 30));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(25));
}

TEST(CompletionPort, PostFromAnotherThreadWakesABlockedWaiter) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    Completion c;
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        got = port->Get(&c, kWaitInfinite);
        port->LeaveThread();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // let it block in epoll_wait
    const auto posted = Clock::now();
    port->Post(5, 42, nullptr);
    waiter.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(c.key, 42u);
    EXPECT_EQ(c.bytes, 5u);
    EXPECT_LT(Clock::now() - posted, std::chrono::milliseconds(200));
}

TEST(CompletionPort, ReceiveCompletesWithDatagramAndSource) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = LoopbackSocket();
    UdpSocket peer = LoopbackSocket();
    ASSERT_EQ(port->Associate(socket.Handle(), 77), 0);
    EXPECT_EQ(port->Associate(socket.Handle(), 78), -1);

    Op op;
    EXPECT_EQ(Receive(*port, socket, op), 1);  // nothing waiting yet
    const uint8_t hello[3] = {0x7E, 0x41, 0x7F};
    ASSERT_EQ(peer.SendTo(To(socket), hello, 3), kSendDone);

    Completion c;
    ASSERT_TRUE(port->Get(&c, 2000));
    EXPECT_EQ(c.key, 77u);
    EXPECT_EQ(c.overlapped, &op.header);
    EXPECT_EQ(c.bytes, 3u);
    EXPECT_EQ(c.error, kErrorNone);
    EXPECT_EQ(op.data[1], 0x41);
    EXPECT_EQ(op.from.address, LoopbackAddress());
    EXPECT_EQ(SocketAddressPort(op.from), peer.LocalPort());
    EXPECT_EQ(op.fromLength, 16u);

    // A datagram already waiting completes the receive at once; its completion is still queued.
    ASSERT_EQ(peer.SendTo(To(socket), hello, 2), kSendDone);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Op second;
    EXPECT_EQ(Receive(*port, socket, second), 0);
    ASSERT_TRUE(port->Get(&c, 2000));
    EXPECT_EQ(c.overlapped, &second.header);
    EXPECT_EQ(c.bytes, 2u);
    port->Detach(socket.Handle());
}

TEST(CompletionPort, DatagramSizesAtTheBufferLimit) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = LoopbackSocket();
    UdpSocket peer = LoopbackSocket();
    ASSERT_EQ(port->Associate(socket.Handle(), 1), 0);

    std::vector<uint8_t> big(600);
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<uint8_t>(i * 7);
    }
    struct Case {
        size_t size;
        uint32_t bytes;
        uint32_t error;
    };
    const Case cases[] = {{500, 500, kErrorNone}, {600, 500, kErrorMoreData}, {0, 0, kErrorNone}};
    for (const Case& k : cases) {
        Op op;
        Receive(*port, socket, op);
        ASSERT_EQ(peer.SendTo(To(socket), big.data(), k.size), kSendDone);
        Completion c;
        ASSERT_TRUE(port->Get(&c, 2000)) << k.size;
        EXPECT_EQ(c.bytes, k.bytes) << k.size;
        EXPECT_EQ(c.error, k.error) << k.size;
        EXPECT_TRUE(std::equal(op.data, op.data + c.bytes, big.begin())) << k.size;
    }
    port->Detach(socket.Handle());
}

int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Beside its bytes a receive tells the datagram's length as it arrived, also when it was cut,
// and when it came (between the send and the completion, by the system clock).
TEST(CompletionPort, ReceivesTellTheLengthThatArrivedAndWhen) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = LoopbackSocket();
    UdpSocket peer = LoopbackSocket();
    ASSERT_EQ(port->Associate(socket.Handle(), 3), 0);
    const std::vector<uint8_t> big(1400, 0x5A);
    for (const size_t size : {size_t{1400}, size_t{501}, size_t{7}, size_t{0}}) {
        Op op;
        const bool waiting = size == 7;  // one datagram is already there when the receive starts
        const int64_t before = NowMicros();
        if (waiting) {
            ASSERT_EQ(peer.SendTo(To(socket), big.data(), size), kSendDone);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Receive(*port, socket, op);
        if (!waiting) {
            ASSERT_EQ(peer.SendTo(To(socket), big.data(), size), kSendDone);
        }
        Completion c;
        ASSERT_TRUE(port->Get(&c, 2000)) << size;
        const int64_t after = NowMicros();
        EXPECT_EQ(c.bytes, std::min<size_t>(size, 500)) << size;
        EXPECT_EQ(c.error, size > 500 ? kErrorMoreData : kErrorNone) << size;
        EXPECT_EQ(c.datagram.wireLength, size);
        EXPECT_GE(c.datagram.receivedMicros, before - 1000) << size;
        EXPECT_LE(c.datagram.receivedMicros, after + 1000) << size;
        EXPECT_EQ(c.datagram.droppedBefore, 0u);
    }
    // Completions that are not receives tell nothing.
    Op posted;
    port->Post(9, 3, &posted.header);
    Completion c;
    ASSERT_TRUE(port->Get(&c, 2000));
    EXPECT_EQ(c.datagram.wireLength, 0u);
    EXPECT_EQ(c.datagram.receivedMicros, 0);
    port->Detach(socket.Handle());
}

TEST(CompletionPort, DatagramsWaitingTogetherGoToTheFollowingReceivesInOrder) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = LoopbackSocket();
    UdpSocket peer = LoopbackSocket();
    UdpSocket other = LoopbackSocket();
    ASSERT_EQ(port->Associate(socket.Handle(), 2), 0);

    // More than one batch, with sizes at the limits and two senders.
    std::vector<std::vector<uint8_t>> sent;
    for (size_t i = 0; i < 40; ++i) {
        const size_t sizes[] = {3, 600, 0, 500, 1};
        std::vector<uint8_t> bytes(sizes[i % 5]);
        for (size_t b = 0; b < bytes.size(); ++b) {
            bytes[b] = static_cast<uint8_t>(i + b);
        }
        UdpSocket& from = i % 2 == 0 ? peer : other;
        ASSERT_EQ(from.SendTo(To(socket), bytes.data(), bytes.size()), kSendDone);
        sent.push_back(bytes);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    for (size_t i = 0; i < sent.size(); ++i) {
        Op op;
        ASSERT_EQ(Receive(*port, socket, op), 0) << i;
        Completion c;
        ASSERT_TRUE(port->Get(&c, 1000)) << i;
        ASSERT_EQ(c.overlapped, &op.header) << i;
        const size_t whole = sent[i].size();
        EXPECT_EQ(c.bytes, std::min<size_t>(whole, 500)) << i;
        EXPECT_EQ(c.error, whole > 500 ? kErrorMoreData : kErrorNone) << i;
        EXPECT_TRUE(std::equal(op.data, op.data + c.bytes, sent[i].begin())) << i;
        EXPECT_EQ(SocketAddressPort(op.from), (i % 2 == 0 ? peer : other).LocalPort()) << i;
        EXPECT_EQ(op.fromLength, 16u);
    }
    Op last;
    EXPECT_EQ(Receive(*port, socket, last), 1);  // all taken: the next one waits
    port->Detach(socket.Handle());
}

TEST(CompletionPort, DetachAbortsEveryOutstandingOperation) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = LoopbackSocket();
    ASSERT_EQ(port->Associate(socket.Handle(), 5), 0);
    Op first, second, ready;
    EXPECT_EQ(Receive(*port, socket, first), 1);
    EXPECT_EQ(Receive(*port, socket, second), 1);
    EXPECT_EQ(port->PostReadiness(socket.Handle(), &ready.header), 1);

    port->Detach(socket.Handle());
    std::vector<Overlapped*> aborted;
    Completion c;
    while (port->Get(&c, 50)) {
        EXPECT_EQ(c.error, kErrorOperationAborted);
        EXPECT_EQ(c.bytes, 0u);
        EXPECT_EQ(c.key, 5u);
        aborted.push_back(c.overlapped);
    }
    EXPECT_EQ(aborted, (std::vector<Overlapped*>{&first.header, &second.header, &ready.header}));
    EXPECT_EQ(first.header.status, kErrorOperationAborted);
    // The descriptor is forgotten: nothing more can be started on it.
    EXPECT_EQ(Receive(*port, socket, first), -1);
    EXPECT_EQ(port->PostReadiness(socket.Handle(), &ready.header), -1);
}

TEST(CompletionPort, PortUnreachableCompletesAReceiveWithoutStoppingReception) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = LoopbackSocket();
    UdpSocket peer = LoopbackSocket();
    uint16_t closedPort = 0;
    {
        UdpSocket probe = LoopbackSocket();
        closedPort = probe.LocalPort();
    }
    ASSERT_EQ(port->Associate(socket.Handle(), 3), 0);
    Op op;
    Receive(*port, socket, op);
    const uint8_t byte = 0x55;
    ASSERT_EQ(socket.SendTo(MakeSocketAddress(LoopbackAddress(), closedPort), &byte, 1), kSendDone);

    Completion c;
    ASSERT_TRUE(port->Get(&c, 2000));
    EXPECT_EQ(c.error, kErrorPortUnreachable);
    EXPECT_EQ(c.bytes, 0u);

    Op next;
    Receive(*port, socket, next);
    ASSERT_EQ(peer.SendTo(To(socket), &byte, 1), kSendDone);
    ASSERT_TRUE(port->Get(&c, 2000));
    EXPECT_EQ(c.overlapped, &next.header);
    EXPECT_EQ(c.error, kErrorNone);
    EXPECT_EQ(c.bytes, 1u);
    // A leftover report does not make the next send fail either.
    ASSERT_EQ(socket.SendTo(MakeSocketAddress(LoopbackAddress(), closedPort), &byte, 1), kSendDone);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(socket.SendTo(To(peer), &byte, 1), kSendDone);
    uint8_t got = 0;
    EXPECT_EQ(peer.ReceiveFrom(&got, 1, nullptr, 2000), 1);
    port->Detach(socket.Handle());
}

TEST(CompletionPort, ReadinessCompletesWhenReadableAndLeavesTheData) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = LoopbackSocket();
    UdpSocket peer = LoopbackSocket();
    ASSERT_EQ(port->Associate(socket.Handle(), 8), 0);
    Op ready;
    EXPECT_EQ(port->PostReadiness(socket.Handle(), &ready.header), 1);
    Completion c;
    EXPECT_FALSE(port->Get(&c, 30));

    const uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(peer.SendTo(To(socket), data, 4), kSendDone);
    ASSERT_TRUE(port->Get(&c, 2000));
    EXPECT_EQ(c.overlapped, &ready.header);
    EXPECT_EQ(c.bytes, 0u);
    EXPECT_EQ(c.error, kErrorNone);

    // The datagram is still there for a read; a readable descriptor with nothing posted does
    // not produce completions.
    EXPECT_FALSE(port->Get(&c, 30));
    Op op;
    EXPECT_EQ(Receive(*port, socket, op), 0);
    ASSERT_TRUE(port->Get(&c, 1000));
    EXPECT_EQ(c.bytes, 4u);
    port->Detach(socket.Handle());
}

TEST(CompletionPort, IoThatFinishedBeforeAPostComesOutBeforeIt) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    UdpSocket socket = LoopbackSocket();
    UdpSocket line = LoopbackSocket();
    UdpSocket peer = LoopbackSocket();
    ASSERT_EQ(port->Associate(socket.Handle(), 4), 0);
    ASSERT_EQ(port->Associate(line.Handle(), 6), 0);
    Op op, ready;
    EXPECT_EQ(Receive(*port, socket, op), 1);
    EXPECT_EQ(port->PostReadiness(line.Handle(), &ready.header), 1);

    // Both arrive while no thread waits on the port (its one worker busy elsewhere).
    const uint8_t reply[2] = {0x11, 0x22};
    ASSERT_EQ(peer.SendTo(To(socket), reply, 2), kSendDone);
    ASSERT_EQ(peer.SendTo(To(line), reply, 1), kSendDone);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port->Post(0, 99, nullptr);

    std::vector<uintptr_t> keys;
    Completion c;
    while (port->Get(&c, 50)) {
        keys.push_back(c.key);
        if (c.key == 4) {
            EXPECT_EQ(c.bytes, 2u);
            EXPECT_EQ(op.data[1], 0x22);
        }
    }
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys.back(), 99u);
    port->Detach(socket.Handle());
    port->Detach(line.Handle());
}

TEST(CompletionPort, ConcurrencyOneRunsOneCompletionAtATime) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    port->Post(0, 1, nullptr);
    port->Post(0, 2, nullptr);

    Completion first;
    ASSERT_TRUE(port->Get(&first, 1000));  // this thread now runs a completion
    std::atomic<bool> secondTaken{false};
    std::atomic<bool> timedOut{false};
    std::thread other([&] {
        Completion c;
        timedOut = !port->Get(&c, 60);  // blocked by the running thread although one is queued
        if (port->Get(&c, 2000)) {
            secondTaken = c.key == 2;
        }
        port->LeaveThread();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(secondTaken);
    port->LeaveThread();
    other.join();
    EXPECT_TRUE(timedOut);
    EXPECT_TRUE(secondTaken);
}

TEST(CompletionPort, DiscardKeyDropsOnlyThatKey) {
    auto port = CompletionPort::Create(1);
    ASSERT_NE(port, nullptr);
    port->Post(1, 10, nullptr);
    port->Post(2, 20, nullptr);
    port->Post(3, 10, nullptr);
    EXPECT_EQ(port->DiscardKey(10), 2u);
    Completion c;
    ASSERT_TRUE(port->Get(&c, 100));
    EXPECT_EQ(c.key, 20u);
    EXPECT_FALSE(port->Get(&c, 0));
}

}  // namespace
}  // namespace tarvu
