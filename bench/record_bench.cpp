// The receive path on loopback with and without the session record (log file and capture
// file on): datagrams per second through the worker, receive chunk, frame decoding and trace
// formatting, with the record's queue beside it. Argument 0: no record; 1: --log and --pcap;
// 2: --log only; 3: --pcap only.
// The batches wait until the worker has traced every datagram, so nothing is lost.

#include "bench/loopback_engine.h"
#include "record/session_recorder.h"
#include "trace/trace_buffer.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBatch = 32;

using tarvu::bench::gTraceLines;

void BM_ReceivePathRecorded(benchmark::State& state) {
    const bool logOn = state.range(0) == 1 || state.range(0) == 2;
    const bool captureOn = state.range(0) == 1 || state.range(0) == 3;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("tarvu-record-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    tarvu::SessionRecorder recorder({});
    std::string error;
    if ((logOn && !recorder.OpenLog((dir / "bench.log").string(), error)) ||
        (captureOn && !recorder.OpenCapture((dir / "bench.pcap").string(), error))) {
        state.SkipWithError(error.c_str());
        return;
    }
    tarvu::TraceBuffer buffer;
    tarvu::TraceLog log(&buffer, [](const std::string&) { gTraceLines.fetch_add(1); });
    log.AddRecordSink(&recorder);
    tarvu::EngineConfig config;
    tarvu::ChannelRequest request;
    const uint16_t readPort = tarvu::bench::OpenLoopbackChannel(config, log, 9, request);
    recorder.Start({std::to_string(readPort), "127.0.0.1:9", true, false}, 0, readPort);

    tarvu::UdpSocket sender = tarvu::bench::LoopbackSocket();
    const auto to = tarvu::MakeSocketAddress(tarvu::LoopbackAddress(), readPort);
    std::vector<uint8_t> datagram = {0x7E};
    for (uint8_t i = 0; i < 38; ++i) {
        datagram.push_back(static_cast<uint8_t>(0x10 + i));
    }
    datagram.push_back(0x7F);
    for (auto _ : state) {
        // Two trace lines per datagram: the chunk and the frame decoded from it.
        const long target = gTraceLines.load() + kBatch * 2;
        for (int i = 0; i < kBatch; ++i) {
            sender.SendTo(to, datagram.data(), datagram.size());
        }
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
        while (gTraceLines.load() < target && Clock::now() < deadline) {
            std::this_thread::yield();
        }
        if (gTraceLines.load() < target) {
            state.SkipWithError("datagrams lost");
            break;
        }
    }
    tarvu::CloseChannel(request);
    tarvu::bench::gLog.store(nullptr);
    recorder.Stop();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBatch);
    if (logOn) {
        state.counters["log_MB"] =
            static_cast<double>(std::filesystem::file_size(dir / "bench.log")) / 1e6;
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReceivePathRecorded)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
