#include "scenario/packet_pattern.h"

#include "scenario/code_value.h"
#include "scenario_test_support.h"

#include <gtest/gtest.h>

namespace tarvu::scenario {
namespace {

using testing::Hex;
using testing::OneLine;

// Parses tokens 1.. of "expect <pattern>".
PacketPattern Pattern(const std::string& text) {
    OneLine one("expect " + text);
    PacketPattern pattern;
    Failure failure;
    EXPECT_TRUE(ParsePacketPattern(one.line, 1, one.line.tokens.size(), pattern, failure))
        << text << ": " << failure.message;
    return pattern;
}

Failure PatternFailure(const std::string& text) {
    OneLine one("expect " + text);
    PacketPattern pattern;
    Failure failure;
    EXPECT_FALSE(ParsePacketPattern(one.line, 1, one.line.tokens.size(), pattern, failure)) << text;
    return failure;
}

TEST(BytePatternTest, WildcardsHalfBytesAndTheRest) {
    const PacketPattern any = Pattern("11 01 ?? 30 *");
    EXPECT_TRUE(any.Matches(Hex("11 01 00 30")));
    EXPECT_TRUE(any.Matches(Hex("11 01 FF 30 10 A3 01")));
    EXPECT_FALSE(any.Matches(Hex("11 01 00")));
    EXPECT_FALSE(any.Matches(Hex("11 02 00 30 00")));

    const PacketPattern exact = Pattern("11 01 ?? 30");
    EXPECT_TRUE(exact.Matches(Hex("11 01 7E 30")));
    EXPECT_FALSE(exact.Matches(Hex("11 01 7E 30 00"))) << "without * the length is exact";

    const PacketPattern halves = Pattern("3? ?A");
    EXPECT_TRUE(halves.Matches(Hex("35 0A")));
    EXPECT_TRUE(halves.Matches(Hex("3F FA")));
    EXPECT_FALSE(halves.Matches(Hex("45 0A")));
    EXPECT_FALSE(halves.Matches(Hex("35 0B")));

    // Grouped as the packet field groups digits: blanks dropped, pairs, a last single one.
    EXPECT_TRUE(Pattern("110100 3000").Matches(Hex("11 01 00 30 00")));
    EXPECT_TRUE(Pattern("7E 7F 1").Matches(Hex("7E 7F 01")));
    EXPECT_TRUE(Pattern("*").Matches({}));
}

TEST(BytePatternTest, WrongTextSaysWhere) {
    const Failure star = PatternFailure("11 * 30");
    EXPECT_EQ(star.offset, 10u);
    EXPECT_NE(star.message.find("end"), std::string::npos);
    const Failure letter = PatternFailure("11 0G");
    EXPECT_EQ(letter.offset, 11u);
    EXPECT_EQ(letter.length, 1u);
}

TEST(FieldPatternTest, FieldsAsTheDecodedLineNamesThem) {
    const std::vector<uint8_t> relock = Hex("11 01 00 30 10 A3 01 00 D1");
    EXPECT_TRUE(Pattern("code=A3 dev=01").Matches(relock));
    EXPECT_TRUE(Pattern("code=ca_RELOCK").Matches(relock));
    EXPECT_TRUE(Pattern("code=CA_relock").Matches(relock)) << "names in any letter case";
    EXPECT_TRUE(Pattern("code=A3(ca_RELOCK)").Matches(relock)) << "as the decoded line prints";
    EXPECT_TRUE(Pattern("type=3? qual=10 body=01 ?? D1").Matches(relock));
    EXPECT_TRUE(Pattern("body=01 *").Matches(relock));
    EXPECT_FALSE(Pattern("body=01").Matches(relock)) << "a body pattern has its exact length";
    EXPECT_FALSE(Pattern("dev=02").Matches(relock));
    EXPECT_FALSE(Pattern("code=A4").Matches(relock));

    // Addresses compare values whatever their width; - stands for no field.
    EXPECT_TRUE(Pattern("dev=1234 addr2=5").Matches(Hex("21 34 12 05 30 10 A3")));
    EXPECT_TRUE(Pattern("dev=1 addr2=0").Matches(Hex("21 01 00 00 30 00")));
    EXPECT_TRUE(Pattern("dev=- addr2=-").Matches(Hex("00 30 00")));
    EXPECT_FALSE(Pattern("dev=0").Matches(Hex("00 30 00"))) << "no field is not address 0";

    // A poll carries no code, so code= never matches it; nor type= an encrypted packet.
    EXPECT_FALSE(Pattern("code=00").Matches(Hex("11 01 00 30 00")));
    EXPECT_TRUE(Pattern("dev=01").Matches(Hex("91 01 00 AA BB CC DD EE FF 00 11")));
    EXPECT_FALSE(Pattern("dev=01 type=??").Matches(Hex("91 01 00 AA BB CC DD EE FF 00 11")));
    EXPECT_FALSE(Pattern("type=??").Matches(Hex("11 01"))) << "too short for a type byte";
    EXPECT_TRUE(Pattern("body=-").Matches(Hex("11 01 00 30 00")));
}

TEST(FieldPatternTest, WrongFieldsSayWhere) {
    EXPECT_NE(PatternFailure("kod=A3").message.find("unknown field"), std::string::npos);
    EXPECT_NE(PatternFailure("code=A3 code=A4").message.find("twice"), std::string::npos);
    EXPECT_NE(PatternFailure("code=ca_NOTHING").message.find("not a message code"),
              std::string::npos);
    const Failure words = PatternFailure("dev=01 02");
    EXPECT_EQ(words.offset, 14u) << "only body= takes several words";
    EXPECT_NE(PatternFailure("code=A3 11").message.find("one word"), std::string::npos);
    EXPECT_NE(PatternFailure("dev=1G").message.find("hex"), std::string::npos);
}

TEST(CodeValueTest, NamesDigitsAndTheirDisagreement) {
    uint8_t code = 0;
    Failure failure;
    ASSERT_TRUE(ParseCodeValue("ma_ALARM", 0, code, failure));
    EXPECT_EQ(code, 0x21);
    ASSERT_TRUE(ParseCodeValue("66(ma_RESET_ALARM_KTS)", 0, code, failure))
        << "the catalogue's tab inside the name is not needed";
    EXPECT_EQ(code, 0x66);
    // One name, two codes: the digits choose; the name alone cannot.
    EXPECT_FALSE(ParseCodeValue("ma_VERSION_2", 0, code, failure));
    EXPECT_NE(failure.message.find("C3, E3"), std::string::npos) << failure.message;
    ASSERT_TRUE(ParseCodeValue("E3(ma_VERSION_2)", 0, code, failure));
    EXPECT_EQ(code, 0xE3);
    EXPECT_FALSE(ParseCodeValue("A4(ca_RELOCK)", 0, code, failure));
    EXPECT_FALSE(ParseCodeValue("ma_MAC", 0, code, failure)) << "a pseudo message, not on the wire";
    EXPECT_FALSE(ParseCodeValue("1A3", 0, code, failure));
}

TEST(PacketPatternTest, CodeKeyAgreesWithTheDecoder) {
    EXPECT_EQ(Pattern("code=A3").CodeKey(), 0xA3);
    EXPECT_EQ(Pattern("code=A?").CodeKey(), std::nullopt);
    EXPECT_EQ(Pattern("type=40").CodeKey(), kNoCodeKey);
    EXPECT_EQ(Pattern("qual=00").CodeKey(), kNoCodeKey);
    EXPECT_EQ(Pattern("dev=01").CodeKey(), std::nullopt);
    EXPECT_EQ(Pattern("11 01 ?? 30 10 A3 *").CodeKey(), 0xA3);
    EXPECT_EQ(Pattern("11 01 ?? 3? 10 A3").CodeKey(), 0xA3);
    EXPECT_EQ(Pattern("11 01 ?? 30 10").CodeKey(), kNoCodeKey) << "too short to carry a code";
    EXPECT_EQ(Pattern("11 01 ?? 30 10 *").CodeKey(), std::nullopt);
    EXPECT_EQ(Pattern("11 01 ?? ?0 10 A3 *").CodeKey(), std::nullopt);
    EXPECT_EQ(Pattern("91 *").CodeKey(), kNoCodeKey);
    EXPECT_EQ(Pattern("?1 01 00 30 10 A3 *").CodeKey(), std::nullopt);
    EXPECT_EQ(PacketCodeKey(Hex("11 01 00 30 10 A3")), 0xA3);
    EXPECT_EQ(PacketCodeKey(Hex("11 01 00 30 10")), kNoCodeKey);
}

}  // namespace
}  // namespace tarvu::scenario
