#include "link/send_queue.h"

#include <gtest/gtest.h>

#include <memory>

namespace tarvu {
namespace {

std::unique_ptr<LinkPacket> Packet(uint8_t type, uint32_t accounted) {
    const uint8_t bytes[] = {0x00, type, 0x00};
    auto packet = std::make_unique<LinkPacket>(LinkPacket::Parse(bytes, sizeof bytes));
    packet->accounted = accounted;
    return packet;
}

// The user's packets (not accounted) are what the client waits for at its end; the cycle
// builder's accounted packets in the same queue do not count.
TEST(SendQueue, CountsTheUsersPacketsAmongTheCycleBuildersOnes) {
    SendQueue queue;
    EXPECT_EQ(queue.UserPackets(), 0u);
    queue.PushBack(Packet(0x31, 1));
    EXPECT_EQ(queue.UserPackets(), 0u);
    queue.PushFront(Packet(0x32, 0));
    queue.PushBack(Packet(0x33, 1));
    queue.PushFront(Packet(0x34, 0));
    EXPECT_EQ(queue.Size(), 4u);
    EXPECT_EQ(queue.UserPackets(), 2u);

    // The send step removes the packet it took, wherever it stands by then.
    const LinkPacket* head = queue.Head();
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(*head->TypeByte(), 0x34);
    queue.PushFront(Packet(0x35, 0));
    const std::unique_ptr<LinkPacket> removed = queue.Remove(head);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(*removed->TypeByte(), 0x34);
    EXPECT_EQ(queue.Remove(head), nullptr);
    EXPECT_EQ(queue.Size(), 4u);
    EXPECT_EQ(queue.UserPackets(), 2u);
    EXPECT_EQ(*queue.Head()->TypeByte(), 0x35);
}

}  // namespace
}  // namespace tarvu
