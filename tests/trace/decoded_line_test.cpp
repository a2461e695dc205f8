#include "trace/decoded_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tarvu {
namespace {

const std::string kPrefix = std::string(31, ' ') + "...= ";

std::string Line(const std::vector<uint8_t>& bytes, std::optional<uint32_t> reply = {}) {
    std::string out;
    AppendDecodedLine(out, bytes, reply);
    return out;
}

TEST(DecodedLine, NamesEveryHeaderField) {
    EXPECT_EQ(Line({0x21, 0x34, 0x12, 0x05, 0x30, 0x10, 0xA3, 0x01, 0x00, 0xD1}),
              kPrefix + "dev=1234 addr2=05 type=30 qual=10 code=A3(ca_RELOCK) body=01 00 D1\n");
    // No addresses, no body, no code; a reply time ends the line.
    EXPECT_EQ(Line({0x00, 0x40, 0x01}, 312u),
              kPrefix + "dev=- addr2=- type=40 qual=01 body=- reply=312ms\n");
    EXPECT_EQ(Line({0x11, 0x01, 0x00, 0x30, 0x00}),
              kPrefix + "dev=01 addr2=00 type=30 qual=00 body=-\n");
}

TEST(DecodedLine, AddressFieldsOfEveryLengthTheHeaderAllowsKeepEveryByte) {
    EXPECT_EQ(Line({0x09, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x30, 0x00}),
              kPrefix + "dev=- addr2=90807060504030201 type=30 qual=00 body=-\n");
    // Fifteen bytes, the most the second address can have; seven for the device address.
    std::vector<uint8_t> longest = {0x7F, 1, 2, 3, 4, 5, 6, 0xA7};
    for (uint8_t i = 0; i < 15; ++i) {
        longest.push_back(static_cast<uint8_t>(0xF1 - i));
    }
    longest.insert(longest.end(), {0x40, 0x01});
    EXPECT_EQ(Line(longest), kPrefix +
                                 "dev=A7060504030201 addr2=E3E4E5E6E7E8E9EAEBECEDEEEFF0F1 "
                                 "type=40 qual=01 body=-\n");
    // Zero bytes at the top of a long field print as they do in a short one.
    EXPECT_EQ(Line({0x59, 5, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x30, 0x00}),
              kPrefix + "dev=05 addr2=100 type=30 qual=00 body=-\n");
}

TEST(DecodedLine, CodesAndParametersAsTheCatalogueNamesThem) {
    // A named parameter in the first body byte follows the code.
    EXPECT_EQ(Line({0x10, 0x05, 0x30, 0x10, 0x21, 0x9E, 0x00}),
              kPrefix +
                  "dev=05 addr2=- type=30 qual=10 code=21(ma_ALARM) "
                  "param=9E(PARAM_LOST_ACCUM) body=9E 00\n");
    // An unnamed parameter and an unnamed code.
    EXPECT_EQ(Line({0x10, 0x05, 0x30, 0x10, 0x01, 0x9C}),
              kPrefix + "dev=05 addr2=- type=30 qual=10 code=01(? ? ?) body=9C\n");
    // Russian descriptions stand as the catalogue gives them.
    EXPECT_EQ(
        Line({0x00, 0x31, 0x10, 0x1A}),
        kPrefix + "dev=- addr2=- type=31 qual=10 code=1A(Набор кода для взятия КЕБ) body=-\n");
}

TEST(DecodedLine, ShortAndEncryptedPackets) {
    EXPECT_EQ(Line({}), kPrefix + "short\n");
    EXPECT_EQ(Line({0x11, 0x01, 0x00, 0x30, 0x10}, 5u), kPrefix + "short reply=5ms\n");
    EXPECT_EQ(Line({0xA1, 0x34, 0x12, 0x00, 0xDE, 0xAD}),
              kPrefix + "encrypted dev=1234 addr2=00\n");
}

TEST(DecodedLine, NewSenderAndPeerText) {
    uint32_t address = 0;
    const uint8_t octets[4] = {10, 0, 0, 2};
    std::memcpy(&address, octets, 4);
    std::string out;
    AppendNewSenderLine(out, address, 80);
    EXPECT_EQ(out, kPrefix + "new sender 010.000.000.002:00080\n");
}

}  // namespace
}  // namespace tarvu
