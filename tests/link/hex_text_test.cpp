#include "link/hex_text.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

TEST(HexText, FormatsUpperCaseWithSingleBlanks) {
    EXPECT_EQ(FormatHexBytes({}), "");
    EXPECT_EQ(FormatHexBytes({0x0A}), "0A");
    EXPECT_EQ(FormatHexBytes({0x7E, 0xff, 0x00}), "7E FF 00");
}

TEST(HexText, StrictParseAcceptsBlanksAndEitherCase) {
    std::vector<uint8_t> out;
    std::string error;
    ASSERT_TRUE(ParseHexStrict("11 01 00 30 00", out, error));
    EXPECT_EQ(out, (std::vector<uint8_t>{0x11, 0x01, 0x00, 0x30, 0x00}));
    ASSERT_TRUE(ParseHexStrict("7e7F  aB", out, error));
    EXPECT_EQ(out, (std::vector<uint8_t>{0x7E, 0x7F, 0xAB}));
    ASSERT_TRUE(ParseHexStrict("", out, error));
    EXPECT_TRUE(out.empty());
}

TEST(HexText, StrictParseNamesTheWrongCharacter) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(ParseHexStrict("7E 7G", out, error));
    EXPECT_NE(error.find("'G' at position 5"), std::string::npos) << error;
    EXPECT_FALSE(ParseHexStrict("7E,7F", out, error));
    EXPECT_NE(error.find("','"), std::string::npos) << error;
    EXPECT_FALSE(ParseHexStrict("7E 7", out, error));
    EXPECT_NE(error.find("odd number"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarvu
