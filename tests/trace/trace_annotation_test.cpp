#include "platform/debug_output.h"
#include "trace/session_figures.h"
#include "trace/trace_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvu {
namespace {

// Decoded lines travel with their block's line: one piece for the debug sink, the 200-line
// buffer and the listener, so every reader sees them in place and they count in the 200.
TEST(TraceAnnotation, DecodedLinesGoWithTheBlockToEveryReader) {
    std::string debug;
    DebugSink previous = SetDebugSink([&debug](std::string_view text) { debug += text; });
    TraceBuffer buffer;
    std::vector<std::string> heard;
    TraceLog log(
        &buffer, [&heard](const std::string& text) { heard.push_back(text); },
        [] {
            return LocalTime{9, 5, 3, 7};
        });
    SessionTracker session;
    session.SetDecode(true);
    log.SetAnnotator([&session](const TraceBlock& block, std::string& text) {
        session.Observe(block, TraceContext{}, text);
    });
    const uint8_t poll[] = {0x11, 0x01, 0x00, 0x30, 0x00};
    log.TraceData(TraceBlock{poll, sizeof poll, 1, 0x0100000A, 10001, 0});
    for (int i = 0; i < 150; ++i) {
        log.TraceData(TraceBlock{poll, sizeof poll, 1, 0x0100000A, 10001, 0});
    }
    SetDebugSink(std::move(previous));

    const std::string expected = "09:05:03.007 010.000.000.001:10001 <-- 11 01 00 30 00\n" +
                                 std::string(31, ' ') +
                                 "...= dev=01 addr2=00 type=30 qual=00 body=-\n";
    ASSERT_EQ(heard.size(), 151u);
    EXPECT_EQ(heard.front(), expected);
    EXPECT_EQ(debug.substr(0, expected.size()), expected);
    // 302 lines of text went in; the buffer keeps the newest 200.
    const std::vector<std::string> lines = buffer.Lines();
    EXPECT_EQ(lines.size(), 200u);
    EXPECT_EQ(lines.back(),
              expected.substr(expected.find('\n') + 1, expected.size() - expected.find('\n') - 2));
}

}  // namespace
}  // namespace tarvu
