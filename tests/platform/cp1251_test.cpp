#include "platform/cp1251.h"

#include <gtest/gtest.h>

#include <iconv.h>
#include <string>

namespace tarvu {
namespace {

// glibc's converter is an independent source for the table; it leaves 0x98 unassigned.
std::string IconvFromCp1251(uint8_t byte) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return "(no iconv)";
    }
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) {
        return "(invalid)";
    }
    return std::string(out, sizeof out - outLeft);
}

TEST(Cp1251, DecodingAgreesWithIconvAndEveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string utf8 = Cp1251ToUtf8(byte);
        if (b != 0x98) {
            EXPECT_EQ(utf8, IconvFromCp1251(static_cast<uint8_t>(b))) << "byte " << b;
        }
        EXPECT_EQ(Utf8ToCp1251(utf8), byte) << "byte " << b;
    }
    EXPECT_EQ(Cp1251ToCodePoint(0x98), U'\u0098');
}

TEST(Cp1251, ReplacesUnrepresentableAndMalformedInput) {
    EXPECT_EQ(Utf8ToCp1251("a中b"), "a?b");                // no such character
    EXPECT_EQ(Utf8ToCp1251("x\xF0\x9F\x98\x80y"), "x?y");  // four-byte character
    EXPECT_EQ(Utf8ToCp1251("\x80"
                           "A"),
              "?A");  // stray continuation byte
    EXPECT_EQ(Utf8ToCp1251("\xD0"
                           "A"),
              "?A");                                   // truncated, then ASCII
    EXPECT_EQ(Utf8ToCp1251("A\xE2\x84"), "A?");        // truncated at the end
    EXPECT_EQ(Utf8ToCp1251("\xE0\x80\xAF"), "?");      // overlong
    EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "?");      // surrogate
    EXPECT_EQ(Utf8ToCp1251("\xF4\x90\x80\x80"), "?");  // beyond U+10FFFF
    EXPECT_EQ(Utf8ToCp1251(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1251, FoldsLatinAndCyrillicCase) {
    const std::string upper = Utf8ToCp1251("ABCXYZАБВЭЮЯЁЂЃЄЅІЇЈЉЊЋЌЎЏҐ");
    const std::string lower = Utf8ToCp1251("abcxyzабвэюяёђѓєѕіїјљњћќўџґ");
    ASSERT_EQ(upper.size(), lower.size());
    for (size_t i = 0; i < upper.size(); ++i) {
        EXPECT_EQ(Cp1251ToLower(static_cast<uint8_t>(upper[i])), static_cast<uint8_t>(lower[i]))
            << "index " << i;
        EXPECT_EQ(Cp1251ToLower(static_cast<uint8_t>(lower[i])), static_cast<uint8_t>(lower[i]));
    }
    for (const int other : {0x30, 0x5B, 0x40, 0xB9, 0x98, 0xA0, 0x00, 0xFF}) {
        EXPECT_EQ(Cp1251ToLower(static_cast<uint8_t>(other)), other) << other;
    }
    EXPECT_TRUE(
        Cp1251EqualsIgnoreCase(Utf8ToCp1251("ЗАМЕНА 7E 7F 7D"), Utf8ToCp1251("замена 7e 7f 7d")));
    EXPECT_TRUE(Cp1251EqualsIgnoreCase(Utf8ToCp1251("Kanal №1"), Utf8ToCp1251("KANAL №1")));
    EXPECT_FALSE(Cp1251EqualsIgnoreCase(Utf8ToCp1251("ё"), Utf8ToCp1251("е")));
    EXPECT_FALSE(Cp1251EqualsIgnoreCase("PORT", "PORT "));
}

}  // namespace
}  // namespace tarvu
