#include "app/packet_text.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(PacketText, NormalisingDropsBlanksAndRegroupsInPairs) {
    EXPECT_EQ(NormalisePacketText("7e7f"), "7e 7f");
    EXPECT_EQ(NormalisePacketText("7E7F1"), "7E 7F 1");
    EXPECT_EQ(NormalisePacketText(" 7E 7F"), "7E 7F");
    EXPECT_EQ(NormalisePacketText("7E,7F"), "7E ,7 F");
    EXPECT_EQ(NormalisePacketText("1  1 01 00 30 00 "), "11 01 00 30 00");
    EXPECT_EQ(NormalisePacketText("A"), "A");
    EXPECT_EQ(NormalisePacketText("   "), "");
    // Only 0x20 is a blank here; a tab is one more character of the packet text.
    EXPECT_EQ(NormalisePacketText("7E\t7F"), "7E \t7 F");
}

TEST(PacketText, EachGroupGivesItsLeadingHexDigits) {
    EXPECT_EQ(PacketTextToBytes("7e 7f"), (Bytes{0x7E, 0x7F}));
    EXPECT_EQ(PacketTextToBytes("7E 7F 1"), (Bytes{0x7E, 0x7F, 0x01}));
    EXPECT_EQ(PacketTextToBytes("7E ,7 F"), (Bytes{0x7E, 0x00, 0x0F}));
    EXPECT_EQ(PacketTextToBytes("ZZ"), (Bytes{0x00}));
    EXPECT_EQ(PacketTextToBytes("7Z"), (Bytes{0x07}));
    EXPECT_EQ(PacketTextToBytes("x1"), (Bytes{0x00}));
    EXPECT_EQ(PacketTextToBytes(""), Bytes{});
}

TEST(PacketText, TheThirdCharacterOfAGroupIsSkippedWhateverItIs) {
    // A hand-edited stored packet without blanks: every third character is lost.
    EXPECT_EQ(PacketTextToBytes("7E7F"), (Bytes{0x7E, 0x0F}));
    EXPECT_EQ(PacketTextToBytes("11,22;33"), (Bytes{0x11, 0x22, 0x33}));
}

TEST(PacketText, NormalisedTextRoundTripsEveryByte) {
    std::string text;
    Bytes expected;
    for (int value = 0; value < 256; ++value) {
        static constexpr char kDigits[] = "0123456789abcdef";
        text += kDigits[value >> 4];
        text += kDigits[value & 15];
        expected.push_back(static_cast<uint8_t>(value));
    }
    EXPECT_EQ(PacketTextToBytes(NormalisePacketText(text)), expected);
}

}  // namespace
}  // namespace tarvu
