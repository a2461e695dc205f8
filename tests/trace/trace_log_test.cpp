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

namespace tarvu {
namespace {

class RecordingSink : public RecordSink {
public:
    void Record(const TraceBlock& block, const std::string& line,
                std::chrono::system_clock::time_point when) override {
        bytes.emplace_back(block.data, block.data + block.length);
        stages.push_back(block.stage);
        lines.push_back(line);
        times.push_back(when);
    }
    std::vector<std::vector<uint8_t>> bytes;
    std::vector<int> stages;
    std::vector<std::string> lines;
    std::vector<std::chrono::system_clock::time_point> times;
};

// The session record hears every block with the very line the trace shows, in order.
TEST(TraceLog, RecordSinksGetEveryBlockWithItsLine) {
    std::vector<std::string> heard;
    TraceLog log(nullptr, [&heard](const std::string& line) { heard.push_back(line); });
    RecordingSink first;
    RecordingSink second;
    log.AddRecordSink(&first);
    log.AddRecordSink(nullptr);
    log.AddRecordSink(&second);
    const uint8_t frame[] = {0x7E, 0x41, 0x7F};
    const auto before = std::chrono::system_clock::now();
    log.TraceData(MakeTraceBlock(frame, 3, 0, 0, 10001, 0));
    log.TraceData(MakeTraceBlock(frame + 1, 1, 0, 0, 10001, 1));
    const auto after = std::chrono::system_clock::now();
    EXPECT_EQ(first.lines, heard);
    EXPECT_EQ(second.lines, heard);
    EXPECT_EQ(first.bytes, (std::vector<std::vector<uint8_t>>{{0x7E, 0x41, 0x7F}, {0x41}}));
    EXPECT_EQ(first.stages, (std::vector<int>{0, 1}));
    ASSERT_EQ(first.times.size(), 2u);
    EXPECT_TRUE(first.times[0] >= before && first.times[1] <= after);
}

}  // namespace
}  // namespace tarvu
