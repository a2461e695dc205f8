// The worker's trace work per received datagram (line, debug sink, 200-line buffer) without
// the session tracker, with it counting (the programs' default) and with decoded lines on, for
// a small packet and a full 500-byte one. Frame coding off: one decoded line per datagram.

#include "trace/session_figures.h"
#include "trace/trace_buffer.h"
#include "trace/trace_log.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Packet(size_t size) {
    // A class-3 message packet with a code, then a body of the rest.
    std::vector<uint8_t> bytes = {0x11, 0x05, 0x00, 0x30, 0x10, 0x21};
    while (bytes.size() < size) {
        bytes.push_back(static_cast<uint8_t>(bytes.size() * 31 + 7));
    }
    bytes.resize(size);
    return bytes;
}

// Arguments: packet size; 0 no tracker, 1 tracker counting, 2 decoded lines.
void BM_TraceReceivedDatagram(benchmark::State& state) {
    const std::vector<uint8_t> bytes = Packet(static_cast<size_t>(state.range(0)));
    const int mode = static_cast<int>(state.range(1));
    tarvu::TraceBuffer buffer;
    size_t heard = 0;
    tarvu::TraceLog log(
        &buffer, [&heard](const std::string& text) { heard += text.size(); },
        [] {
            return tarvu::LocalTime{9, 5, 3, 7};
        });
    tarvu::SessionTracker session;
    tarvu::TraceContext context;
    context.destinationAddress = 0x0100000A;
    context.destinationPort = 10001;
    if (mode != 0) {
        session.SetDecode(mode == 2);
        log.SetAnnotator([&](const tarvu::TraceBlock& block, std::string& text) {
            session.Observe(block, context, text);
        });
    }
    // One packet sent first, so that every datagram has a reply time.
    log.TraceData(tarvu::TraceBlock{bytes.data(), bytes.size(), 1, 0x0100000A, 10001, 0});
    const tarvu::TraceBlock received{bytes.data(), bytes.size(), 0, 0x0100000A, 10001, 0};
    for (auto _ : state) {
        log.TraceData(received);
    }
    benchmark::DoNotOptimize(heard);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceReceivedDatagram)->ArgsProduct({{16, 500}, {0, 1, 2}});

}  // namespace

BENCHMARK_MAIN();
