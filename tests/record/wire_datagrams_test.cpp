#include "record/wire_datagrams.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

SessionEvent Block(int direction, int stage, std::vector<uint8_t> bytes) {
    SessionEvent event;
    event.direction = direction;
    event.stage = stage;
    event.bytes = std::move(bytes);
    return event;
}

TEST(WireDatagramsTest, OnlyWhatWasOnTheWireInTracedOrder) {
    std::vector<std::vector<uint8_t>> out;
    WireDatagrams wire([&out](const SessionEvent& e) { out.push_back(e.bytes); });
    // Frame coding on: the coded frame replaces the packet.
    wire.Feed(Block(1, 0, {0x41}));
    wire.Feed(Block(1, 1, {0x7E, 0x41, 0x7F}));
    // A received datagram and its decoded frame: only the datagram.
    wire.Feed(Block(0, 0, {0x7E, 0x42, 0x7F}));
    wire.Feed(Block(0, 1, {0x42}));
    // Frame coding off: the packet itself, handed on once the next block shows no frame.
    wire.Feed(Block(1, 0, {0x43}));
    EXPECT_TRUE(wire.Holding());
    wire.Feed(Block(0, 0, {0x44}));
    wire.Feed(Block(1, 0, {0x45}));
    wire.Feed(Block(1, 0, {0x46}));
    wire.Flush();
    EXPECT_FALSE(wire.Holding());
    const std::vector<std::vector<uint8_t>> expected = {
        {0x7E, 0x41, 0x7F}, {0x7E, 0x42, 0x7F}, {0x43}, {0x44}, {0x45}, {0x46}};
    EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace tarvu
