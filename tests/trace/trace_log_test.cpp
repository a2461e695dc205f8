#include "trace/trace_log.h"

#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tarvu {
namespace {

TEST(TraceLog, EachLineGoesToDebugSinkBufferAndListener) {
    std::string debug;
    DebugSink previous = SetDebugSink([&debug](std::string_view text) { debug += text; });
    TraceBuffer buffer;
    std::vector<std::string> heard;
    int clockReads = 0;
    TraceLog log(
        &buffer, [&heard](const std::string& line) { heard.push_back(line); },
        [&clockReads] {
            ++clockReads;
            return LocalTime{9, 5, 3, 7};
        });
    const uint8_t frame[] = {0x7E, 0x01, 0x02, 0x7F};
    uint32_t peer = 0;
    const uint8_t octets[4] = {10, 0, 0, 1};
    std::memcpy(&peer, octets, 4);

    EXPECT_EQ(log.TraceData(MakeTraceBlock(frame, 4, 0, peer, 0x10000 + 10001, 0)), 1);
    EXPECT_EQ(log.TraceData(MakeTraceBlock(frame + 1, 2, 0, peer, 10001, 1)), 1);
    EXPECT_EQ(log.TraceData(MakeTraceBlock(nullptr, 9, 1, 0, 80, 0)), 1);
    SetDebugSink(std::move(previous));

    const std::vector<std::string> expected = {
        "09:05:03.007 010.000.000.001:10001 --> 7E 01 02 7F\n",
        std::string(31, ' ') + "... --> 01 02\n", "09:05:03.007 000.000.000.000:00080 <-- \n"};
    EXPECT_EQ(heard, expected);
    EXPECT_EQ(debug, expected[0] + expected[1] + expected[2]);
    EXPECT_EQ(buffer.Lines().size(), 3u);
    EXPECT_EQ(buffer.Lines()[1], expected[1].substr(0, expected[1].size() - 1));
    EXPECT_EQ(clockReads, 2);  // continuation lines carry no time
}

}  // namespace
}  // namespace tarvu
