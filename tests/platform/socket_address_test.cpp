// The socket address fields hold what the system reads: big-endian bytes in memory.
#include "platform/socket_address.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tarvu {
namespace {

TEST(SocketAddress, PortAndLoopbackAreBigEndianInMemoryAndRoundTrip) {
    const SocketAddressV4 address = MakeSocketAddress(LoopbackAddress(), 10001);
    uint8_t bytes[sizeof address];
    std::memcpy(bytes, &address, sizeof address);
    EXPECT_EQ(address.family, kAddressFamilyInet);
    EXPECT_EQ(bytes[2], 0x27);  // 10001 = 0x2711
    EXPECT_EQ(bytes[3], 0x11);
    EXPECT_EQ(bytes[4], 0x7F);
    EXPECT_EQ(bytes[5], 0x00);
    EXPECT_EQ(bytes[6], 0x00);
    EXPECT_EQ(bytes[7], 0x01);
    EXPECT_EQ(SocketAddressPort(address), 10001);
    EXPECT_EQ(SocketAddressPort(MakeSocketAddress(0, 65535)), 65535);
}

}  // namespace
}  // namespace tarvu
