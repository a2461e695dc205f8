#include "trace/trace_line.h"

#include "link/hex_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace tarvu {
namespace {

TraceBlock Block(const std::vector<uint8_t>& bytes, int direction, uint8_t lastOctet, uint16_t port,
                 int stage) {
    const uint8_t octets[4] = {10, 0, 0, lastOctet};
    uint32_t networkOrder = 0;
    std::memcpy(&networkOrder, octets, sizeof networkOrder);
    return TraceBlock{bytes.data(), bytes.size(), direction, networkOrder, port, stage};
}

const std::string kFiller = std::string(31, ' ') + "...";

TEST(TraceLine, FirstLinesCarryTimePeerArrowAndDump) {
    const std::vector<uint8_t> frame = {0x7E, 0x01, 0x02, 0x7F};
    const std::string received = FormatTraceLine(Block(frame, 0, 1, 10001, 0), {9, 5, 3, 7});
    EXPECT_EQ(received, "09:05:03.007 010.000.000.001:10001 --> 7E 01 02 7F\n");
    EXPECT_EQ(received.find(" --> "), kTracePrefixWidth);  // arrow from column 35
    EXPECT_EQ(FormatTraceLine(Block({0xab}, 1, 255, 80, 0), {23, 59, 59, 999}),
              "23:59:59.999 010.000.000.255:00080 <-- AB\n");
}

TEST(TraceLine, ContinuationLinesReplaceTimeAndPeerWithTheFiller) {
    EXPECT_EQ(FormatTraceLine(Block({0x01, 0x02}, 0, 1, 10001, 1), {9, 5, 3, 7}),
              kFiller + " --> 01 02\n");
    EXPECT_EQ(FormatTraceLine(Block({0x5A}, 1, 1, 1, 2), {}), kFiller + " <-- 5A\n");
    // An empty block (or one without data) shows nothing after the arrow.
    EXPECT_EQ(FormatTraceLine(Block({}, 0, 1, 1, 1), {}), kFiller + " --> \n");
    EXPECT_EQ(FormatTraceLine(TraceBlock{nullptr, 100, 1, 0, 0, 1}, {}), kFiller + " <-- \n");
}

TEST(TraceLine, LongBlocksStayOnOneLineAndAppendKeepsEarlierText) {
    std::vector<uint8_t> bytes(500);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    std::string out = "before|";
    AppendTraceLine(out, Block(bytes, 0, 4, 5, 0), {0, 0, 0, 0});
    EXPECT_EQ(out, "before|00:00:00.000 010.000.000.004:00005 --> " + FormatHexBytes(bytes) + "\n");
}

}  // namespace
}  // namespace tarvu
