#pragma once
// One trace line per traced block: time stamp, peer address and port, direction arrow and the
// block as hexadecimal bytes. Continuation lines (frames coded or decoded out of a block) put a
// filler of the same width in place of time and peer, so every arrow starts in column 35.

#include "platform/local_time.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvu {

// Width of time stamp, blank, address and port: "09:05:03.007 010.000.000.001:10001".
constexpr size_t kTracePrefixWidth = 34;

struct TraceBlock {
    const uint8_t* data = nullptr;
    size_t length = 0;
    int direction = 0;     // 0 = received (" --> "), anything else = sent (" <-- ")
    uint32_t address = 0;  // IPv4, network byte order: printed in memory order
    uint16_t port = 0;
    int stage = 0;  // 0 = block as sent or received, otherwise a continuation line
    int64_t receivedMicros = 0;  // when the datagram reached the socket (system clock, µs since the Unix epoch); 0 when unknown
    uint32_t wireLength = 0;     // the datagram's length as it arrived when it was cut (> length); 0 when whole
};

// The block as the engine's trace callback describes it: a null `data` counts as no bytes and
// only the low 16 bits of `port` are used.
TraceBlock MakeTraceBlock(const uint8_t* data, uint32_t length, int direction, uint32_t address,
                          uint32_t port, int stage);

// Appends the line, ending in "\n", to `out`. `time` is used only for stage 0. A block of no
// bytes (or no data) leaves nothing after the arrow.
void AppendTraceLine(std::string& out, const TraceBlock& block, const LocalTime& time);

std::string FormatTraceLine(const TraceBlock& block, const LocalTime& time);

// Reads the local clock for stage 0 lines.
std::string FormatTraceLine(const TraceBlock& block);

}  // namespace tarvu
