#include "link/link_packet.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

namespace tarvu {
namespace {

using Bytes = std::vector<uint8_t>;

template <typename Packet>
Bytes Content(const Packet& p) {
    return Bytes(p.Data(), p.Data() + p.Length());
}

template <typename Packet>
size_t OffsetOf(const Packet& p, const uint8_t* at) {
    return static_cast<size_t>(at - p.Data());
}

LinkPacket ParseBytes(const Bytes& b) {
    return LinkPacket::Parse(b.data(), b.size());
}

TEST(LinkPacket, ParsesTheHeaderParts) {
    const LinkPacket p = ParseBytes({0x21, 0x34, 0x12, 0x05, 0x30, 0x10, 0xA3, 0x01, 0x02});
    EXPECT_EQ(p.DeviceFieldLength(), 2u);
    EXPECT_EQ(p.SecondFieldLength(), 1u);
    EXPECT_EQ(p.DeviceAddress(), 0x1234u);
    EXPECT_EQ(p.SecondAddress(), 5u);
    EXPECT_EQ(OffsetOf(p, p.TypeByte()), 4u);
    EXPECT_EQ(OffsetOf(p, p.Qualifier()), 5u);
    ASSERT_NE(p.MessageCode(), nullptr);
    EXPECT_EQ(*p.MessageCode(), 0xA3);
    EXPECT_EQ(OffsetOf(p, p.Body()), 7u);
    EXPECT_EQ(p.BodyLength(), 2);
    EXPECT_EQ(p.accounted, 1u);
    EXPECT_EQ(p.wait, 0u);

    const LinkPacket bare = ParseBytes({0x00, 0x30, 0x00});
    EXPECT_EQ(bare.DeviceAddress(), std::nullopt);
    EXPECT_EQ(bare.SecondAddress(), std::nullopt);
    EXPECT_EQ(bare.CachedDeviceAddress(), 0u);
    EXPECT_EQ(OffsetOf(bare, bare.TypeByte()), 1u);
    EXPECT_EQ(OffsetOf(bare, bare.Qualifier()), 2u);
    EXPECT_EQ(OffsetOf(bare, bare.Body()), 3u);
    EXPECT_EQ(bare.MessageCode(), nullptr);
    EXPECT_EQ(bare.BodyLength(), 0);
}

TEST(LinkPacket, MessageCodeNeedsClassThreeAndQualifier10) {
    // Only the high nibble of the type byte counts.
    EXPECT_NE(ParseBytes({0x00, 0x35, 0x10, 0xA6}).MessageCode(), nullptr);
    EXPECT_EQ(ParseBytes({0x00, 0x40, 0x10, 0xA6}).MessageCode(), nullptr);
    EXPECT_EQ(ParseBytes({0x00, 0x30, 0x11, 0xA6}).MessageCode(), nullptr);
    const LinkPacket withCode = ParseBytes({0x00, 0x35, 0x10, 0xA6, 0x01});
    EXPECT_EQ(withCode.HeaderLength(), 4u);
    EXPECT_EQ(withCode.BodyLength(), 1);
}

TEST(LinkPacket, ZeroOversizedAndShortInput) {
    const LinkPacket empty = LinkPacket::Parse(nullptr, 0);
    EXPECT_EQ(empty.Length(), 1);
    EXPECT_EQ(empty.Data()[0], 0x00);
    EXPECT_FALSE(empty.Empty());
    EXPECT_EQ(empty.BodyLength(), -2);

    Bytes big(600);
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<uint8_t>(i);
    }
    big[0] = 0x00;
    const LinkPacket cut = ParseBytes(big);
    EXPECT_EQ(cut.Length(), LinkPacket::kCapacity);
    EXPECT_EQ(Content(cut), Bytes(big.begin(), big.begin() + 512));

    // Header claims 15 + 15 address bytes on a one-byte packet: positions stay in the buffer
    // and the missing bytes read as zero.
    const LinkPacket shortOne = ParseBytes({0xFF});
    EXPECT_EQ(OffsetOf(shortOne, shortOne.TypeByte()), 31u);
    EXPECT_EQ(OffsetOf(shortOne, shortOne.Body()), 33u);
    EXPECT_EQ(shortOne.BodyLength(), 1 - 33);
    EXPECT_EQ(shortOne.DeviceAddress(), 0u);
    EXPECT_EQ(shortOne.SecondAddress(), 0u);

    // A 6-byte device field reads as its first 4 bytes.
    const LinkPacket wide = ParseBytes({0x61, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x30});
    EXPECT_EQ(wide.DeviceAddress(), 0x04030201u);
    EXPECT_EQ(wide.SecondAddress(), 0x07u);
    EXPECT_EQ(*wide.TypeByte(), 0x30);
}

TEST(LinkPacket, AddressFieldsTakeTheFewestBytes) {
    const uint32_t edges[] = {0, 0xFF, 0x100, 0xFFFF, 0x10000, 0xFFFFFF, 0x1000000, 0xFFFFFFFF};
    const size_t sizes[] = {1, 1, 2, 2, 3, 3, 4, 4};
    for (size_t i = 0; i < std::size(edges); ++i) {
        EXPECT_EQ(AddressFieldSize(edges[i]), sizes[i]) << edges[i];
    }
}

TEST(LinkPacket, DeviceAddressGrowsShrinksAndGoes) {
    LinkPacket p = ParseBytes({0x11, 0x03, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1});
    p.SetDeviceAddress(0x100);
    EXPECT_EQ(Content(p), (Bytes{0x21, 0x00, 0x01, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}));
    EXPECT_EQ(p.CachedDeviceAddress(), 0x100u);
    ASSERT_NE(p.MessageCode(), nullptr);
    EXPECT_EQ(*p.MessageCode(), 0xA6);
    EXPECT_EQ(OffsetOf(p, p.Body()), 7u);
    EXPECT_EQ(p.BodyLength(), 3);

    p.SetDeviceAddress(0x01020304);
    EXPECT_EQ(Content(p),
              (Bytes{0x41, 0x04, 0x03, 0x02, 0x01, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}));
    p.SetDeviceAddress(0);  // 0 still takes a byte
    EXPECT_EQ(Content(p), (Bytes{0x11, 0x00, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}));
    EXPECT_EQ(p.DeviceAddress(), 0u);
    p.SetDeviceAddress(std::nullopt);
    EXPECT_EQ(Content(p), (Bytes{0x01, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}));
    EXPECT_EQ(p.DeviceAddress(), std::nullopt);
    EXPECT_EQ(*p.TypeByte(), 0x30);
    EXPECT_EQ(*p.MessageCode(), 0xA6);
}

TEST(LinkPacket, SecondAddressMovesOnlyWhatFollowsTheDeviceAddress) {
    LinkPacket p = ParseBytes({0x21, 0x34, 0x12, 0x05, 0x30, 0x00, 0xEE});
    p.SetSecondAddress(0xABCDEF);
    EXPECT_EQ(Content(p), (Bytes{0x23, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x30, 0x00, 0xEE}));
    EXPECT_EQ(p.SecondAddress(), 0xABCDEFu);
    EXPECT_EQ(p.DeviceAddress(), 0x1234u);
    p.SetSecondAddress(std::nullopt);
    EXPECT_EQ(Content(p), (Bytes{0x20, 0x34, 0x12, 0x30, 0x00, 0xEE}));
    EXPECT_EQ(p.CachedSecondAddress(), 0u);
    // A message code noted at parse time stays noted; none appears by moving bytes.
    EXPECT_EQ(p.MessageCode(), nullptr);
}

TEST(LinkPacket, GrowingAFullPacketDropsItsLastByte) {
    Bytes b(512, 0x55);
    b[0] = 0x11;
    b[1] = 0x07;
    b[2] = 0x00;
    b[511] = 0x99;
    LinkPacket p = ParseBytes(b);
    p.SetDeviceAddress(0x1234);
    EXPECT_EQ(p.Length(), 512);
    EXPECT_EQ(p.Data()[0], 0x21);
    EXPECT_EQ(p.Data()[511], 0x55);  // the 0x99 was pushed out
    EXPECT_EQ(p.BodyLength(), 512 - 6);
    EXPECT_LE(OffsetOf(p, p.Body()) + static_cast<size_t>(p.BodyLength()), size_t{p.Length()});
}

TEST(LinkPacket, ShrinkingAPacketShorterThanItsHeaderNeverUnderflows) {
    LinkPacket p = ParseBytes({0xFF});
    p.SetDeviceAddress(5);
    EXPECT_EQ(p.Length(), 1);
    EXPECT_EQ(p.Data()[0], 0x1F);
    p.SetSecondAddress(std::nullopt);
    EXPECT_EQ(p.Length(), 1);
    EXPECT_EQ(p.Data()[0], 0x10);

    // Ends inside the device field: only the bytes it really has are removed.
    LinkPacket q = ParseBytes({0x40, 0x01, 0x02, 0x03});
    q.SetDeviceAddress(0x07);
    EXPECT_EQ(Content(q), (Bytes{0x10, 0x07}));
}

TEST(LinkPacket, MovesKeepTheBufferAndCloneCopiesIt) {
    LinkPacket a = ParseBytes({0x11, 0x03, 0x00, 0x30, 0x00});
    a.wait = 300;
    const uint8_t* buffer = a.Data();
    LinkPacket b = std::move(a);
    EXPECT_EQ(b.Data(), buffer);
    EXPECT_EQ(b.wait, 300u);
    // The moved-from record is empty: no positions, rewrites touch only the cached value.
    EXPECT_TRUE(a.Empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(a.TypeByte(), nullptr);
    a.SetDeviceAddress(9);
    EXPECT_EQ(a.Length(), 0);
    EXPECT_FALSE(a.Append(0x01));

    LinkPacket c = b.Clone();
    c.SetDeviceAddress(0x300);
    EXPECT_EQ(Content(b), (Bytes{0x11, 0x03, 0x00, 0x30, 0x00}));
    EXPECT_EQ(c.wait, 300u);
}

TEST(CipherPacket, ThreeBitLengthsKeepBitsSevenAndThree) {
    CipherPacket p = CipherPacket::Parse(Bytes{0x80}.data(), 1);
    EXPECT_TRUE(p.Encrypted());
    p.SetDeviceAddress(3);
    p.SetSecondAddress(0);
    EXPECT_EQ(Content(p), (Bytes{0x91, 0x03, 0x00}));
    const uint8_t tail[] = {0x30, 0x00};
    EXPECT_TRUE(p.Append(tail, sizeof tail));
    EXPECT_EQ(OffsetOf(p, p.TypeByte()), 3u);

    CipherPacket q = CipherPacket::Parse(Bytes{0xF8, 1, 2, 3, 4, 5, 6, 7, 0x62}.data(), 9);
    EXPECT_EQ(q.DeviceFieldLength(), 7u);
    EXPECT_EQ(q.SecondFieldLength(), 0u);
    EXPECT_EQ(q.DeviceAddress(), 0x04030201u);
    q.SetDeviceAddress(0x0102);
    EXPECT_EQ(Content(q), (Bytes{0xA8, 0x02, 0x01, 0x62}));
    q.SetEncrypted(false);
    EXPECT_EQ(q.Data()[0], 0x28);

    Bytes big(1024, 0x44);
    big[0] = 0x00;
    CipherPacket full = CipherPacket::Parse(big.data(), big.size());
    EXPECT_EQ(full.Length(), 1024);
    EXPECT_FALSE(full.Append(0x01));
    full.SetSecondAddress(0x10000);
    EXPECT_EQ(full.Length(), 1024);
}

TEST(MessagePacket, BodyFollowsTheCommandCode) {
    uint32_t params[kLinkParameterCount] = {};
    params[kCommandWait] = 0x10000 + 700;  // only the low 16 bits count
    params[kMessageWait] = 1500;

    LinkPacket set1 = MakeMessagePacket(ca_SET_1, 0x05, 3, 0x22, params);
    EXPECT_EQ(Content(set1), (Bytes{0x11, 0x03, 0x00, 0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}));
    EXPECT_EQ(set1.wait, 700u);
    EXPECT_EQ(set1.accounted, 1u);
    ASSERT_NE(set1.MessageCode(), nullptr);
    EXPECT_EQ(set1.BodyLength(), 3);

    EXPECT_EQ(Content(MakeMessagePacket(ca_RELOCK, 0x07, 1, 0x22, params)),
              (Bytes{0x11, 0x01, 0x00, 0x30, 0x10, 0xA3, 0x07, 0x00, 0xD1}));
    EXPECT_EQ(Content(MakeMessagePacket(ca_MASTER_KEB, 0x09, 1, 0x22, params)),
              (Bytes{0x11, 0x01, 0x00, 0x30, 0x10, 0xAE, 0x09, 0x00, 0xD1}));
    EXPECT_EQ(Content(MakeMessagePacket(0xB6, 0x09, 1, 0x22, params)),
              (Bytes{0x11, 0x01, 0x00, 0x30, 0x10, 0xB6, 0x00, 0x00, 0xD1}));

    const uint8_t jupBody[] = {0x00, 0x01, 0x02, 0x00};
    for (uint8_t parameter = 0; parameter < 4; ++parameter) {
        LinkPacket jup = MakeMessagePacket(ca_JUP_MAN, parameter, 2, 0x22, params);
        EXPECT_EQ(jup.Body()[0], jupBody[parameter]) << int{parameter};
        EXPECT_EQ(jup.wait, 1500u);
    }

    // A wider device address widens the header; the code byte is the code's low byte.
    EXPECT_EQ(Content(MakeMessagePacket(0x1A3, 0x07, 0x1234, 0x22, params)),
              (Bytes{0x21, 0x34, 0x12, 0x00, 0x30, 0x10, 0xA3, 0x00, 0x00, 0xD1}));
}

// Rewrites on a byte vector: the expected result for packets that hold their whole header.
Bytes ModelSetField(Bytes b, bool device, std::optional<uint32_t> value) {
    const size_t d = b[0] >> 4;
    const size_t s = b[0] & 0x0F;
    const size_t start = device ? 1 : 1 + d;
    const size_t old = device ? d : s;
    const size_t k = value ? AddressFieldSize(*value) : 0;
    b.erase(b.begin() + static_cast<long>(start), b.begin() + static_cast<long>(start + old));
    for (size_t i = 0; i < k; ++i) {
        b.insert(b.begin() + static_cast<long>(start + i), static_cast<uint8_t>(*value >> (8 * i)));
    }
    b[0] = static_cast<uint8_t>(device ? (b[0] & 0x0F) | (k << 4) : (b[0] & 0xF0) | k);
    if (b.size() > LinkPacket::kCapacity) {
        b.resize(LinkPacket::kCapacity);
    }
    return b;
}

// Positions must stay inside the buffer and lengths inside the capacity for every header.
void ExpectSane(const LinkPacket& p) {
    ASSERT_FALSE(p.Empty());
    ASSERT_GE(p.Length(), 1);
    ASSERT_LE(p.Length(), LinkPacket::kCapacity);
    const uint8_t* end = p.Data() + LinkPacket::kCapacity;
    EXPECT_LT(p.Body(), end);
    EXPECT_LT(p.Qualifier(), end);
    if (p.BodyLength() > 0) {
        EXPECT_LE(OffsetOf(p, p.Body()) + static_cast<size_t>(p.BodyLength()), size_t{p.Length()});
    }
}

TEST(LinkPacket, AnyHeaderAndLengthIsHandledSafely) {
    std::mt19937 rng(1234);
    const size_t lengths[] = {0, 1, 2, 3, 5, 8, 13, 20, 33, 34, 35, 100, 510, 511, 512};
    const std::optional<uint32_t> values[] = {std::nullopt, 0u,        0xFFu,
                                              0x100u,       0x123456u, 0xFFFFFFFFu};
    size_t modelled = 0;
    for (unsigned lengthByte = 0; lengthByte < 256; ++lengthByte) {
        for (size_t n : lengths) {
            Bytes b(n);
            for (uint8_t& x : b) {
                x = static_cast<uint8_t>(rng());
            }
            if (n > 0) {
                b[0] = static_cast<uint8_t>(lengthByte);
            }
            LinkPacket p = ParseBytes(b);
            ExpectSane(p);
            for (int step = 0; step < 4; ++step) {
                const bool device = (rng() & 1) != 0;
                const std::optional<uint32_t> value = values[rng() % std::size(values)];
                const Bytes before = Content(p);
                const size_t d = before[0] >> 4;
                const size_t s = before[0] & 0x0F;
                const bool whole = before.size() >= 1 + d + s;
                device ? p.SetDeviceAddress(value) : p.SetSecondAddress(value);
                ExpectSane(p);
                if (whole) {
                    ++modelled;
                    ASSERT_EQ(Content(p), ModelSetField(before, device, value))
                        << "length byte " << lengthByte << " n " << n;
                    const auto read = device ? p.DeviceAddress() : p.SecondAddress();
                    EXPECT_EQ(read, value);
                }
            }
        }
    }
    EXPECT_GT(modelled, 5000u);
}

}  // namespace
}  // namespace tarvu
