// Strict decoding of one UTF-8 sequence: what is read, and how far a malformed one reaches.
#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvu {
namespace {

TEST(Utf8Sequence, WellFormedSequencesOfEveryLength) {
    struct Case {
        std::string text;
        char32_t codePoint;
        size_t length;
    };
    for (const Case& c :
         {Case{"A rest", U'A', 1}, Case{"\xD0\x96rest", U'Ж', 2}, Case{"\xE2\x84\x96", U'№', 3},
          Case{"\xF0\x9F\x98\x80", 0x1F600, 4}, Case{"\xF4\x8F\xBF\xBF", 0x10FFFF, 4}}) {
        const Utf8Sequence s = DecodeUtf8Sequence(c.text);
        EXPECT_TRUE(s.valid) << c.text;
        EXPECT_EQ(s.codePoint, c.codePoint) << c.text;
        EXPECT_EQ(s.length, c.length) << c.text;
    }
}

TEST(Utf8Sequence, MalformedSequencesAreRefusedWithTheLengthTheyReach) {
    struct Case {
        std::string text;
        size_t length;
    };
    for (const Case& c : {
             Case{"\x80", 1},              // stray continuation byte
             Case{"\xC0\xAF", 1},          // lead byte of an overlong form only
             Case{"\xE0\x80\xAF", 3},      // overlong three-byte form
             Case{"\xED\xA0\x80", 3},      // surrogate
             Case{"\xF4\x90\x80\x80", 4},  // above U+10FFFF
             Case{"\xF5\x80\x80\x80", 1},  // no such lead byte
             Case{"\xE2\x84", 2},          // cut short by the end of the text
             Case{"\xE2\x84"
                  "A",
                  2},  // cut short by another character
         }) {
        const Utf8Sequence s = DecodeUtf8Sequence(c.text);
        EXPECT_FALSE(s.valid) << testing::PrintToString(c.text);
        EXPECT_EQ(s.length, c.length) << testing::PrintToString(c.text);
    }
}

}  // namespace
}  // namespace tarvu
