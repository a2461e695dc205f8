// Trace lines for any block, address, port, direction, stage and clock reading, against the
// same line composed with printf formats: "%02u:%02u:%02u.%03u %03u.%03u.%03u.%03u:%05u",
// the arrow, then "%02X" per byte with single blanks between, or a 34-character filler ending
// in "..." in place of time and peer on continuation lines.

#include "fuzz/fuzz_check.h"
#include "trace/trace_line.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

std::string Expected(const std::vector<uint8_t>& bytes, bool withData, int direction,
                     uint32_t address, uint32_t port, int stage, const tarvu::LocalTime& t) {
    std::string line;
    char buffer[96];
    if (stage == 0) {
        uint8_t octets[4];
        std::memcpy(octets, &address, sizeof octets);
        std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u.%03u %03u.%03u.%03u.%03u:%05u",
                      unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second},
                      unsigned{t.millisecond}, unsigned{octets[0]}, unsigned{octets[1]},
                      unsigned{octets[2]}, unsigned{octets[3]}, port & 0xFFFFu);
        line = buffer;
    } else {
        line = std::string(tarvu::kTracePrefixWidth - 3, ' ') + "...";
    }
    line += direction == 0 ? " --> " : " <-- ";
    if (withData) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::snprintf(buffer, sizeof buffer, i == 0 ? "%02X" : " %02X", unsigned{bytes[i]});
            line += buffer;
        }
    }
    return line + "\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int direction = input.ConsumeIntegralInRange<int>(-1, 2);
    const int stage = input.ConsumeIntegralInRange<int>(-1, 2);
    const uint32_t address = input.ConsumeIntegral<uint32_t>();
    const uint32_t port = input.ConsumeIntegral<uint32_t>();
    tarvu::LocalTime time;
    time.hour = input.ConsumeIntegral<uint16_t>();
    time.minute = input.ConsumeIntegral<uint16_t>();
    time.second = input.ConsumeIntegral<uint16_t>();
    time.millisecond = input.ConsumeIntegral<uint16_t>();
    const bool withData = input.ConsumeBool();
    const std::string prefix = input.ConsumeRandomLengthString(16);
    const std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();

    const tarvu::TraceBlock block =
        tarvu::MakeTraceBlock(withData ? bytes.data() : nullptr,
                              static_cast<uint32_t>(bytes.size()), direction, address, port, stage);
    const std::string expected = Expected(bytes, withData, direction, address, port, stage, time);
    FUZZ_CHECK(tarvu::FormatTraceLine(block, time) == expected);

    // Appending keeps what the text held before.
    std::string out = prefix;
    tarvu::AppendTraceLine(out, block, time);
    FUZZ_CHECK(out == prefix + expected);

    // A clock reading within range always gives the fixed prefix width.
    if (stage == 0 && time.hour < 100 && time.minute < 100 && time.second < 100 &&
        time.millisecond < 1000 && (port & 0xFFFFu) < 100000) {
        FUZZ_CHECK(
            expected.compare(tarvu::kTracePrefixWidth, 5, direction == 0 ? " --> " : " <-- ") == 0);
    }
    return 0;
}
