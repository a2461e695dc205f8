// Cost of one trace line for a full 500-byte datagram, the receive path's per-datagram work.

#include "trace/trace_buffer.h"
#include "trace/trace_line.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Datagram() {
    std::vector<uint8_t> bytes(500);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    return bytes;
}

tarvu::TraceBlock Block(const std::vector<uint8_t>& bytes) {
    return tarvu::TraceBlock{bytes.data(), bytes.size(), 0, 0x0100000A, 10001, 0};
}

void BM_FormatTraceLine(benchmark::State& state) {
    const std::vector<uint8_t> bytes = Datagram();
    const tarvu::TraceBlock block = Block(bytes);
    for (auto _ : state) {
        std::string line = tarvu::FormatTraceLine(block, tarvu::LocalTime{9, 5, 3, 7});
        benchmark::DoNotOptimize(line);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 500);
}
BENCHMARK(BM_FormatTraceLine);

// With the local clock read, as the trace callback does for every first line.
void BM_FormatTraceLineWithClock(benchmark::State& state) {
    const std::vector<uint8_t> bytes = Datagram();
    const tarvu::TraceBlock block = Block(bytes);
    for (auto _ : state) {
        std::string line = tarvu::FormatTraceLine(block);
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_FormatTraceLineWithClock);

// The formatter plus the append to a full 200-line buffer.
void BM_FormatAndAppendToFullBuffer(benchmark::State& state) {
    const std::vector<uint8_t> bytes = Datagram();
    const tarvu::TraceBlock block = Block(bytes);
    tarvu::TraceBuffer buffer;
    for (int i = 0; i < 200; ++i) {
        buffer.Append(tarvu::FormatTraceLine(block, {}));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(buffer.Append(tarvu::FormatTraceLine(block, {9, 5, 3, 7})));
    }
}
BENCHMARK(BM_FormatAndAppendToFullBuffer);

// What the formatter is compared against: printf formats per field and per byte.
void BM_SnprintfBaseline(benchmark::State& state) {
    const std::vector<uint8_t> bytes = Datagram();
    for (auto _ : state) {
        std::string line;
        char field[64];
        std::snprintf(field, sizeof field, "%02d:%02d:%02d.%03d %.3d.%.3d.%.3d.%.3d:%.5d --> ", 9,
                      5, 3, 7, 10, 0, 0, 1, 10001);
        line += field;
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::snprintf(field, sizeof field, i == 0 ? "%.2X" : " %.2X", bytes[i]);
            line += field;
        }
        line += '\n';
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_SnprintfBaseline);

}  // namespace

BENCHMARK_MAIN();
