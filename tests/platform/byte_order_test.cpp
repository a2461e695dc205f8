#include "platform/byte_order.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

TEST(ByteOrder, RoundTripsBothOrders) {
    uint8_t b[4] = {};
    StoreLe32(b, 0x11223344);
    EXPECT_EQ(b[0], 0x44);
    EXPECT_EQ(b[3], 0x11);
    EXPECT_EQ(LoadLe32(b), 0x11223344u);
    EXPECT_EQ(LoadBe32(b), 0x44332211u);
    StoreBe16(b, 0xABCD);
    EXPECT_EQ(b[0], 0xAB);
    EXPECT_EQ(LoadLe16(b), 0xCDABu);
    const uint8_t three[3] = {0x34, 0x12, 0x05};
    EXPECT_EQ(LoadLeN(three, 3), 0x051234u);
    EXPECT_EQ(LoadLeN(three, 0), 0u);
}

}  // namespace
}  // namespace tarvu
