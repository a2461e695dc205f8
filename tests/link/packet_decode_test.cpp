#include "link/packet_decode.h"

#include "link/link_packet.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace tarvu {
namespace {

using Bytes = std::vector<uint8_t>;

DecodedPacket Decode(const Bytes& bytes) {
    return DecodePacket(bytes);
}

TEST(PacketDecode, PlainHeadersWithAndWithoutMessageCode) {
    // Device 0x1234 in two bytes, second address 5, class 3 with a code: body from offset 7.
    DecodedPacket p = Decode({0x21, 0x34, 0x12, 0x05, 0x30, 0x10, 0xA3, 0x01, 0x00, 0xD1});
    EXPECT_EQ(p.shape, PacketShape::kPlain);
    EXPECT_EQ(p.deviceLength, 2);
    EXPECT_EQ(p.deviceAddress, 0x1234u);
    EXPECT_EQ(p.secondLength, 1);
    EXPECT_EQ(p.secondAddress, 5u);
    EXPECT_EQ(p.typeByte, 0x30);
    EXPECT_EQ(p.qualifier, 0x10);
    EXPECT_TRUE(p.hasMessageCode);
    EXPECT_EQ(p.messageCode, 0xA3);
    EXPECT_EQ(p.bodyOffset, 7u);
    EXPECT_EQ(p.bodyLength, 3u);

    // Only the class decides: 0x35 with 0x10 carries a code, 0x40 with 0x10 does not.
    p = Decode({0x11, 0x01, 0x00, 0x35, 0x10, 0x21});
    EXPECT_TRUE(p.hasMessageCode);
    EXPECT_EQ(p.messageCode, 0x21);
    EXPECT_EQ(p.bodyLength, 0u);
    p = Decode({0x11, 0x01, 0x00, 0x40, 0x10, 0x21});
    EXPECT_FALSE(p.hasMessageCode);
    EXPECT_EQ(p.bodyOffset, 5u);
    EXPECT_EQ(p.bodyLength, 1u);

    // No addresses at all: type at 1, qualifier at 2, body at 3.
    p = Decode({0x00, 0x30, 0x00});
    EXPECT_EQ(p.shape, PacketShape::kPlain);
    EXPECT_EQ(p.deviceLength, 0);
    EXPECT_EQ(p.secondLength, 0);
    EXPECT_EQ(p.bodyOffset, 3u);
    EXPECT_EQ(p.bodyLength, 0u);

    // Seven address bytes are taken whole, not modulo 2^32.
    p = Decode({0x70, 1, 2, 3, 4, 5, 6, 7, 0x50, 0x05});
    EXPECT_EQ(p.shape, PacketShape::kPlain);
    EXPECT_EQ(p.deviceAddress, 0x07060504030201u);
}

TEST(PacketDecode, ShortAndEncryptedPackets) {
    EXPECT_EQ(Decode({}).shape, PacketShape::kShort);
    EXPECT_EQ(Decode({0x11}).shape, PacketShape::kShort);              // addresses missing
    EXPECT_EQ(Decode({0x11, 0x01, 0x00}).shape, PacketShape::kShort);  // type and qualifier
    EXPECT_EQ(Decode({0x11, 0x01, 0x00, 0x30}).shape, PacketShape::kShort);
    // The qualifier announces a code that is not there.
    const DecodedPacket noCode = Decode({0x11, 0x01, 0x00, 0x30, 0x10});
    EXPECT_EQ(noCode.shape, PacketShape::kShort);
    EXPECT_FALSE(noCode.hasMessageCode);

    // Bit 7: D in bits 6-4, bit 3 ignored, S in bits 2-0; the rest is cipher text.
    DecodedPacket p = Decode({0x99, 0x07, 0x02, 0xAA, 0xBB, 0xCC});
    EXPECT_EQ(p.shape, PacketShape::kEncrypted);
    EXPECT_EQ(p.deviceLength, 1);
    EXPECT_EQ(p.deviceAddress, 7u);
    EXPECT_EQ(p.secondLength, 1);
    EXPECT_EQ(p.secondAddress, 2u);
    EXPECT_EQ(p.bodyOffset, 3u);
    EXPECT_EQ(p.bodyLength, 3u);
    EXPECT_EQ(Decode({0xA1, 0x07, 0x08}).shape, PacketShape::kShort);
}

// Under AddressSanitizer each length lives in an allocation of exactly that size, so a read
// past the datagram fails the run; everywhere the decoded parts must lie inside the bytes and
// agree with the engine's own parse.
TEST(PacketDecode, AnyBytesOfEveryLengthStayInsideAndAgreeWithTheEngine) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    for (size_t length = 0; length <= 500; ++length) {
        for (int round = 0; round < 8; ++round) {
            auto bytes = std::make_unique<uint8_t[]>(length);
            for (size_t i = 0; i < length; ++i) {
                bytes[i] = static_cast<uint8_t>(byte(random));
            }
            // Small address nibbles in half the rounds, so that most packets have a header.
            if (length > 0 && round % 2 == 0) {
                bytes[0] &= 0x33;
            }
            const DecodedPacket p = DecodePacket({bytes.get(), length});
            if (p.shape == PacketShape::kShort) {
                continue;
            }
            ASSERT_EQ(p.bodyOffset + p.bodyLength, length);
            if (p.shape != PacketShape::kPlain || p.deviceLength > 4 || p.secondLength > 4) {
                continue;
            }
            const LinkPacket engine = LinkPacket::Parse(bytes.get(), length);
            ASSERT_EQ(p.deviceAddress, engine.CachedDeviceAddress()) << length;
            ASSERT_EQ(p.secondAddress, engine.CachedSecondAddress()) << length;
            ASSERT_EQ(p.bodyOffset, engine.HeaderLength()) << length;
            ASSERT_EQ(p.hasMessageCode, engine.MessageCode() != nullptr) << length;
            if (p.hasMessageCode) {
                ASSERT_EQ(p.messageCode, *engine.MessageCode());
            }
        }
    }
}

}  // namespace
}  // namespace tarvu
