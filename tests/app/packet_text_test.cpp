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
    EXPECT_EQ(NormalisePacketText("   "), "");
    // Only 0x20 is a blank here; a tab is one more character of the packet text.
    EXPECT_EQ(NormalisePacketText("7E\t7F"), "7E \t7 F");
}

TEST(PacketText, EachGroupGivesItsLeadingHexDigits) {
    EXPECT_EQ(PacketTextToBytes("7e 7f"), (Bytes{0x7E, 0x7F}));
    EXPECT_EQ(PacketTextToBytes("7E 7F 1"), (Bytes{0x7E, 0x7F, 0x01}));
    EXPECT_EQ(PacketTextToBytes("7E ,7 F"), (Bytes{0x7E, 0x00, 0x0F}));
    EXPECT_EQ(PacketTextToBytes("ZZ"), (Bytes{0x00}));
    EXPECT_EQ(PacketTextToBytes("7Z x1"), (Bytes{0x07, 0x00}));
    EXPECT_EQ(PacketTextToBytes(""), Bytes{});
    // The third character of a group is skipped whatever it is.
    EXPECT_EQ(PacketTextToBytes("7E7F"), (Bytes{0x7E, 0x0F}));
    EXPECT_EQ(PacketTextToBytes("ff;80"), (Bytes{0xFF, 0x80}));
}

// The field holds single-byte characters: a Cyrillic letter is one character of a group, not
// the two bytes of its UTF-8 form, and a character the code page lacks is one "?".
TEST(PacketText, CyrillicAndForeignCharactersCountAsOneCharacterEach) {
    EXPECT_EQ(NormalisePacketText("7Ж"), "7Ж");
    EXPECT_EQ(NormalisePacketText("ЖЖЖ"), "ЖЖ Ж");
    EXPECT_EQ(NormalisePacketText("7Ж1 2"), "7Ж 12");
    EXPECT_EQ(NormalisePacketText("中7 1"), "?7 1");
    EXPECT_EQ(PacketTextToBytes("7Ж"), (Bytes{0x07}));
    EXPECT_EQ(PacketTextToBytes("ЖЖ Ж"), (Bytes{0x00, 0x00}));
    EXPECT_EQ(PacketTextToBytes("7Ж 12"), (Bytes{0x07, 0x12}));
    EXPECT_EQ(PacketTextToBytes("?7 1"), (Bytes{0x00, 0x01}));
    // Malformed UTF-8 counts one "?" per byte, like any character the code page lacks.
    EXPECT_EQ(NormalisePacketText("7\xFF"
                                  "1"),
              "7? 1");
}

}  // namespace
}  // namespace tarvu
