#include "trace/trace_line.h"

#include "link/hex_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace tarvu {
namespace {

uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t octets[4] = {a, b, c, d};
    uint32_t networkOrder = 0;
    std::memcpy(&networkOrder, octets, sizeof networkOrder);
    return networkOrder;
}

TraceBlock Block(const std::vector<uint8_t>& bytes, int direction, uint32_t address, uint16_t port,
                 int stage) {
    return TraceBlock{bytes.data(), bytes.size(), direction, address, port, stage};
}

constexpr LocalTime kNineFive{9, 5, 3, 7};

TEST(TraceLine, StageZeroCarriesTimePeerArrowAndDump) {
    const std::vector<uint8_t> frame = {0x7E, 0x01, 0x02, 0x7F};
    EXPECT_EQ(FormatTraceLine(Block(frame, 0, Address(10, 0, 0, 1), 10001, 0), kNineFive),
              "09:05:03.007 010.000.000.001:10001 --> 7E 01 02 7F\n");
    // Sent data: the arrow points the other way; small ports get five digits.
    EXPECT_EQ(FormatTraceLine(Block(frame, 1, Address(192, 168, 1, 20), 80, 0), kNineFive),
              "09:05:03.007 192.168.001.020:00080 <-- 7E 01 02 7F\n");
    EXPECT_EQ(FormatTraceLine(Block({0xab}, 1, Address(255, 255, 255, 255), 65535, 0),
                              LocalTime{23, 59, 59, 999}),
              "23:59:59.999 255.255.255.255:65535 <-- AB\n");
    EXPECT_EQ(FormatTraceLine(Block({0x00}, 0, 0, 0, 0), LocalTime{}),
              "00:00:00.000 000.000.000.000:00000 --> 00\n");
}

TEST(TraceLine, ContinuationKeepsTheArrowInColumn35AndIgnoresTime) {
    const std::vector<uint8_t> packet = {0x01, 0x02};
    const std::string first =
        FormatTraceLine(Block(packet, 0, Address(10, 0, 0, 1), 10001, 0), kNineFive);
    const std::string received =
        FormatTraceLine(Block(packet, 0, Address(10, 0, 0, 1), 10001, 1), kNineFive);
    const std::string sent = FormatTraceLine(Block(packet, 1, 0, 0, 2), LocalTime{1, 2, 3, 4});
    EXPECT_EQ(received, std::string(31, ' ') + "... --> 01 02\n");
    EXPECT_EQ(sent, std::string(31, ' ') + "... <-- 01 02\n");
    EXPECT_EQ(first.find("-->"), 35u);  // arrow's blank in column 35, hyphens follow
    EXPECT_EQ(received.find(" --> "), first.find(" --> "));
    EXPECT_EQ(received.find(" --> "), kTracePrefixWidth);
}

TEST(TraceLine, DumpHasNoTrailingBlankAndEmptyBlocksStopAtTheArrow) {
    EXPECT_EQ(FormatTraceLine(Block({0x5A}, 0, 0, 1, 1), LocalTime{}),
              std::string(31, ' ') + "... --> 5A\n");
    EXPECT_EQ(FormatTraceLine(Block({}, 0, 0, 1, 1), LocalTime{}),
              std::string(31, ' ') + "... --> \n");
    // No data behind a nonzero count is treated as an empty block, not read.
    EXPECT_EQ(FormatTraceLine(TraceBlock{nullptr, 100, 1, 0, 1, 1}, LocalTime{}),
              std::string(31, ' ') + "... <-- \n");
}

TEST(TraceLine, LongBlocksStayOnOneLineByteForByte) {
    std::vector<uint8_t> bytes(512);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    const std::string line = FormatTraceLine(Block(bytes, 0, Address(1, 2, 3, 4), 5, 0), kNineFive);
    EXPECT_EQ(line, "09:05:03.007 001.002.003.004:00005 --> " + FormatHexBytes(bytes) + "\n");
    EXPECT_EQ(line.find('\n'), line.size() - 1);

    // Appending keeps what the string already held.
    std::string out = "before|";
    AppendTraceLine(out, Block({0x10}, 1, 0, 0, 1), LocalTime{});
    EXPECT_EQ(out, "before|" + std::string(31, ' ') + "... <-- 10\n");
}

}  // namespace
}  // namespace tarvu
