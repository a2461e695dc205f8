#include "link/packet_cipher.h"

#include "encrypted_send_decrypt.h"
#include "link/hex_text.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ParseHexStrict(text, bytes, error)) << error;
    return bytes;
}

const std::array<uint8_t, 32> kKey = {
    0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
    0x55, 0xAA, 0x00, 0xFF, 0x11, 0x22, 0x33, 0x44, 0x5A, 0xA5, 0x0F, 0xF0, 0x12, 0x21, 0x34, 0x43};

// A message packet whose tail fills the cipher's limit of 246 bytes.
std::string LongPacket() {
    std::string text = "11 01 00 30 10 A6";
    for (int i = 0; i < 243; ++i) {
        text += " 5A";
    }
    return text;
}

TEST(PacketCipherTest, EncryptsAsTheEngineAndDecryptsBack) {
    for (const std::string& text :
         {std::string("11 03 00 30 00"), std::string("11 01 00 30 10 A3 01 00 D1"),
          std::string("21 34 12 05 62 03"), std::string("00 40 01"), LongPacket()}) {
        std::vector<uint8_t> plain = Hex(text);
        std::vector<uint8_t> wire;
        ASSERT_TRUE(EncryptLinkPacket(plain, kKey, wire)) << text;
        ASSERT_FALSE(wire.empty());
        EXPECT_EQ(wire[0], plain[0] | 0x80) << "addresses in clear, bit 7 set";
        const size_t clear = 1u + (plain[0] >> 4) + (plain[0] & 0x0F);
        EXPECT_EQ(
            std::vector<uint8_t>(wire.begin() + 1, wire.begin() + static_cast<ptrdiff_t>(clear)),
            std::vector<uint8_t>(plain.begin() + 1, plain.begin() + static_cast<ptrdiff_t>(clear)));
        // An independent receiver reads the tail back.
        const auto tail = testing::TestDecryptTail(
            std::vector<uint8_t>(wire.begin() + static_cast<ptrdiff_t>(clear), wire.end()), kKey);
        ASSERT_TRUE(tail) << text;
        EXPECT_EQ(tail->plain,
                  std::vector<uint8_t>(plain.begin() + static_cast<ptrdiff_t>(clear), plain.end()));
        std::vector<uint8_t> back = {0xEE};
        ASSERT_TRUE(DecryptLinkPacket(wire, kKey, back)) << text;
        EXPECT_EQ(back, plain);
    }
}

TEST(PacketCipherTest, RefusesWhatCannotBeDecryptedOrEncrypted) {
    std::vector<uint8_t> out = {0xEE};
    EXPECT_FALSE(DecryptLinkPacket(Hex("11 01 00 30 00"), kKey, out)) << "not encrypted";
    EXPECT_FALSE(DecryptLinkPacket(Hex("91 01"), kKey, out)) << "shorter than its addresses";
    EXPECT_FALSE(DecryptLinkPacket(Hex("91 01 00 AA BB"), kKey, out)) << "not whole blocks";
    EXPECT_FALSE(DecryptLinkPacket({}, kKey, out));
    std::vector<uint8_t> wire;
    ASSERT_TRUE(EncryptLinkPacket(Hex("11 01 00 30 00"), kKey, wire));
    std::array<uint8_t, 32> otherKey = kKey;
    otherKey[0] ^= 1;
    // With the wrong key the pad count is garbage; most of the time it is refused, and when it
    // happens to look valid the plain bytes differ.
    std::vector<uint8_t> wrong;
    if (DecryptLinkPacket(wire, otherKey, wrong)) {
        EXPECT_NE(wrong, Hex("11 01 00 30 00"));
    }
    EXPECT_EQ(out, std::vector<uint8_t>{0xEE}) << "untouched on failure";

    std::vector<uint8_t> tooLong = Hex("11 01 00 30 00");
    tooLong.resize(3 + 247, 0x55);
    EXPECT_FALSE(EncryptLinkPacket(tooLong, kKey, wire));
}

}  // namespace
}  // namespace tarvu
