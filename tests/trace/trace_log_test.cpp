#include "trace/trace_log.h"

#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tarvu {
namespace {

// Captures the debug sink for the lifetime of the object.
class DebugCapture {
public:
    DebugCapture() {
        previous_ = SetDebugSink([this](std::string_view text) { text_ += text; });
    }
    ~DebugCapture() { SetDebugSink(std::move(previous_)); }
    const std::string& Text() const { return text_; }

private:
    DebugSink previous_;
    std::string text_;
};

nsAddress Peer(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port) {
    const uint8_t octets[4] = {a, b, c, d};
    nsAddress peer;
    std::memcpy(&peer.address, octets, sizeof peer.address);
    peer.port = port;
    return peer;
}

TEST(TraceLog, EachLineGoesToDebugSinkBufferAndListener) {
    DebugCapture debug;
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
    const uint8_t decoded[] = {0x01, 0x02};
    const nsAddress peer = Peer(10, 0, 0, 1, 10001);
    EXPECT_EQ(log.TraceData({frame, 4, 0, peer.address, peer.port, 0}), 1);
    EXPECT_EQ(log.TraceData({decoded, 2, 0, peer.address, peer.port, 1}), 1);
    EXPECT_EQ(clockReads, 1);  // continuation lines carry no time

    const std::string first = "09:05:03.007 010.000.000.001:10001 --> 7E 01 02 7F\n";
    const std::string second = std::string(31, ' ') + "... --> 01 02\n";
    EXPECT_EQ(heard, (std::vector<std::string>{first, second}));
    EXPECT_EQ(debug.Text(), first + second);
    EXPECT_EQ(buffer.Text(), first.substr(0, first.size() - 1) + "\r\n" +
                                 second.substr(0, second.size() - 1) + "\r\n");
}

TEST(TraceLog, CallbackForwardsToTheInstalledLogOnly) {
    DebugCapture debug;
    TraceBuffer buffer;
    TraceLog log(&buffer, {}, [] { return LocalTime{12, 0, 0, 1}; });
    const uint8_t byte = 0xC6;
    const nsAddress peer = Peer(127, 0, 0, 1, 0);

    EXPECT_EQ(TraceData(nullptr, &byte, 1, 1, &peer, 10001, 0), 1);
    EXPECT_EQ(buffer.Text(), "");

    InstallTraceLog(&log);
    // Only the low 16 bits of the port count; a missing peer prints as zeros.
    EXPECT_EQ(TraceData(nullptr, &byte, 1, 1, &peer, 0x10000 + 80, 0), 1);
    EXPECT_EQ(TraceData(nullptr, nullptr, 9, 0, nullptr, 0, 0), 1);
    InstallTraceLog(nullptr);
    EXPECT_EQ(TraceData(nullptr, &byte, 1, 1, &peer, 80, 0), 1);

    EXPECT_EQ(buffer.Lines(),
              (std::vector<std::string>{"12:00:00.001 127.000.000.001:00080 <-- C6",
                                        "12:00:00.001 000.000.000.000:00000 --> "}));
    EXPECT_EQ(debug.Text(),
              "12:00:00.001 127.000.000.001:00080 <-- C6\n"
              "12:00:00.001 000.000.000.000:00000 --> \n");
}

}  // namespace
}  // namespace tarvu
