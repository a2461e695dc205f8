#include "scenario/packet_builder.h"

#include "scenario_test_support.h"

#include <gtest/gtest.h>

namespace tarvu::scenario {
namespace {

using testing::Hex;
using testing::OneLine;

struct Built {
    bool ok = false;
    PacketBuilder builder;
    Failure failure;
};

Built Parse(const std::string& text, TemplateScope scope = TemplateScope::kReply) {
    OneLine one("send " + text);
    Built built;
    built.ok = ParsePacketBuilder(one.line, 1, one.line.tokens.size(), scope, built.builder,
                                  built.failure);
    return built;
}

std::vector<uint8_t> Build(const std::string& text, uint64_t counter = 0,
                           const std::vector<uint8_t>& received = {}) {
    const Built built = Parse(text);
    EXPECT_TRUE(built.ok) << text << ": " << built.failure.message;
    std::vector<uint8_t> out;
    built.builder.Build(counter, received, out);
    return out;
}

TEST(ByteTemplateTest, BytesAsThePacketFieldTakesThemAndCounters) {
    EXPECT_EQ(Build("11 01 00 30 00"), Hex("11 01 00 30 00"));
    EXPECT_EQ(Build("1101003000"), Hex("11 01 00 30 00"));
    EXPECT_EQ(Build("7E7F1"), Hex("7E 7F 01")) << "a last single digit is a byte";
    EXPECT_EQ(Build("11 01 00 30 {n}", 5), Hex("11 01 00 30 05"));
    EXPECT_EQ(Build("11 01 00 30 {n}", 0x1FF), Hex("11 01 00 30 FF"));
    EXPECT_EQ(Build("{n:2} {n:4}", 0x010203), Hex("03 02 03 02 01 00")) << "little-endian";

    const Built half = Parse("11 0{n}");
    EXPECT_FALSE(half.ok);
    EXPECT_NE(half.failure.message.find("half a byte"), std::string::npos);
    EXPECT_FALSE(Parse("{dev}", TemplateScope::kCounterOnly).ok) << "nothing to copy from";
    EXPECT_FALSE(Parse("{x}").ok);
    EXPECT_FALSE(Parse("11 {n").ok);
    const Built letter = Parse("11 0X");
    EXPECT_FALSE(letter.ok);
    EXPECT_EQ(letter.failure.offset, 9u);
}

TEST(ByteTemplateTest, RepliesCopyFromTheReceivedPacket) {
    const std::vector<uint8_t> relock = Hex("21 34 12 05 30 10 A3 01 00 D1");
    EXPECT_EQ(Build("11 {dev} 00 30 10 C9 {body}", 0, relock),
              Hex("11 34 12 00 30 10 C9 01 00 D1"));
    EXPECT_EQ(Build("{addr2} {type} {qual} {code}", 0, relock), Hex("05 30 10 A3"));
    EXPECT_EQ(Build("{packet}", 0, relock), relock);
    EXPECT_EQ(Build("{1} {7..} {0..2}", 0, relock), Hex("34 01 00 D1 21 34 12"));
    // Parts the packet lacks copy nothing: a poll has no code, offsets past its end give none.
    EXPECT_EQ(Build("AA {code} {9..} {body} BB", 0, Hex("11 01 00 30 00")), Hex("AA BB"));
    EXPECT_EQ(Build("{dev}", 0, Hex("21 34")), std::vector<uint8_t>{}) << "cut-off address";
}

TEST(FieldPacketTest, BuildsTheHeaderFromTheFields) {
    EXPECT_EQ(Build("dev=01 addr2=00 type=30 qual=10 code=ca_RELOCK body=01 00 D1"),
              Hex("11 01 00 30 10 A3 01 00 D1"));
    EXPECT_EQ(Build("dev=05 addr2=0 code=A6 body=C5 22 D1"), Hex("11 05 00 30 10 A6 C5 22 D1"))
        << "type 30 and qual 10 by default with a code";
    EXPECT_EQ(Build("dev=03"), Hex("10 03 30 00")) << "a poll of device 3, no second address";
    EXPECT_EQ(Build("dev=1234 addr2=10000 type=40 qual=01"), Hex("23 34 12 00 00 01 40 01"))
        << "each address in its shortest width, least significant byte first";
    EXPECT_EQ(Build("dev=- addr2=- type=62 qual=03"), Hex("00 62 03"));
    EXPECT_EQ(Build("dev=01 type=30 qual=00 body={n:2}", 0x0102), Hex("10 01 30 00 02 01"));

    const std::vector<uint8_t> relock = Hex("21 34 12 05 30 10 A3 01 00 D1");
    EXPECT_EQ(Build("dev={dev} addr2=00 code=ma_RELOCK body={body}", 0, relock),
              Hex("21 34 12 00 30 10 C9 01 00 D1"))
        << "a copied address keeps its received width";
    EXPECT_EQ(Build("dev=1 type={type} qual={qual} code={code}", 0, relock), Hex("10 01 30 10 A3"));

    const Built wrongType = Parse("dev=01 type=40 code=A3");
    EXPECT_FALSE(wrongType.ok);
    EXPECT_NE(wrongType.failure.message.find("class 3"), std::string::npos);
    EXPECT_FALSE(Parse("dev=01 qual=00 code=A3").ok);
    EXPECT_FALSE(Parse("dev=123456789").ok) << "addresses have at most 4 bytes";
    EXPECT_FALSE(Parse("dev={dev}", TemplateScope::kCounterOnly).ok);
    EXPECT_FALSE(Parse("type=300").ok);
}

}  // namespace
}  // namespace tarvu::scenario
