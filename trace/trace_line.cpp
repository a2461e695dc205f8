#include "trace/trace_line.h"

#include <cstring>
#include <string_view>

namespace tarvu {
namespace {

constexpr std::string_view kContinuationFiller = "                               ...";
static_assert(kContinuationFiller.size() == kTracePrefixWidth);

// printf's "%0*u": at least `width` digits, more when the value needs them.
void AppendDecimal(std::string& out, uint32_t value, int width) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i) {
        out += '0';
    }
    while (n > 0) {
        out += digits[--n];
    }
}

// Exactly `width` digits of a value below 10^width.
void PutDigits(char* out, uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

void AppendDump(std::string& out, const uint8_t* data, size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (data == nullptr || length == 0) {
        return;
    }
    const size_t start = out.size();
    out.resize(start + length * 3 - 1, ' ');
    char* p = out.data() + start;
    for (size_t i = 0; i < length; ++i) {
        p[i * 3] = kDigits[data[i] >> 4];
        p[i * 3 + 1] = kDigits[data[i] & 0x0F];
    }
}

}  // namespace

TraceBlock MakeTraceBlock(const uint8_t* data, uint32_t length, int direction, uint32_t address,
                          uint32_t port, int stage) {
    TraceBlock block;
    block.data = data;
    block.length = data != nullptr ? length : 0;
    block.direction = direction;
    block.address = address;
    block.port = static_cast<uint16_t>(port & 0xFFFF);
    block.stage = stage;
    return block;
}

void AppendTraceLine(std::string& out, const TraceBlock& block, const LocalTime& time) {
    const size_t dumpLength = block.data != nullptr ? block.length : 0;
    out.reserve(out.size() + kTracePrefixWidth + 5 + dumpLength * 3 + 1);
    if (block.stage == 0) {
        uint8_t octets[4];
        std::memcpy(octets, &block.address, sizeof octets);
        if (time.hour < 100 && time.minute < 100 && time.second < 100 && time.millisecond < 1000) {
            // Every field fits its width (always, from a real clock): the prefix has a fixed
            // layout and is written in one piece, which a trace of every datagram of a flood
            // notices.
            char prefix[kTracePrefixWidth];
            PutDigits(prefix, time.hour, 2);
            prefix[2] = ':';
            PutDigits(prefix + 3, time.minute, 2);
            prefix[5] = ':';
            PutDigits(prefix + 6, time.second, 2);
            prefix[8] = '.';
            PutDigits(prefix + 9, time.millisecond, 3);
            prefix[12] = ' ';
            for (int i = 0; i < 4; ++i) {
                PutDigits(prefix + 13 + 4 * i, octets[i], 3);
                prefix[16 + 4 * i] = i < 3 ? '.' : ':';
            }
            PutDigits(prefix + 29, block.port, 5);
            out.append(prefix, sizeof prefix);
        } else {
            AppendDecimal(out, time.hour, 2);
            out += ':';
            AppendDecimal(out, time.minute, 2);
            out += ':';
            AppendDecimal(out, time.second, 2);
            out += '.';
            AppendDecimal(out, time.millisecond, 3);
            out += ' ';
            for (int i = 0; i < 4; ++i) {
                if (i != 0) {
                    out += '.';
                }
                AppendDecimal(out, octets[i], 3);
            }
            out += ':';
            AppendDecimal(out, block.port, 5);
        }
    } else {
        out += kContinuationFiller;
    }
    out += block.direction == 0 ? " --> " : " <-- ";
    AppendDump(out, block.data, dumpLength);
    out += '\n';
}

std::string FormatTraceLine(const TraceBlock& block, const LocalTime& time) {
    std::string line;
    AppendTraceLine(line, block, time);
    return line;
}

std::string FormatTraceLine(const TraceBlock& block) {
    return FormatTraceLine(block, block.stage == 0 ? GetLocalTime() : LocalTime{});
}

}  // namespace tarvu
