// The transport on loopback: how long a user packet takes from QueueUserPacket to its arrival
// at a peer socket, and how many datagrams per second the receive path takes (worker, receive
// chunk, frame decoding, trace formatting into the 200-line buffer) beside a bare recvfrom
// loop on a plain socket in the same run. Both receive runs get the same traffic: batches of
// datagrams, the next batch only once the previous one has been taken, so that nothing is lost
// to a full socket buffer. The receive path runs three ways: without the session tracker,
// with it counting (the programs' default) and with decoded lines on (--decode).

#include "bench/loopback_engine.h"
#include "trace/session_figures.h"
#include "trace/trace_buffer.h"
#include "transport/submit_user_packet.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBatch = 32;

using tarvu::bench::FreePort;
using tarvu::bench::gTraceLines;
using tarvu::bench::gWindow;
using tarvu::bench::LoopbackSocket;

// Channel 1 with every wait at 0, frame coding on, traced into a 200-line buffer; the
// destination is `peer`. Returns the channel's read port.
enum class Annotation { kNone, kFigures, kDecodedLines };

struct Engine {
    explicit Engine(const tarvu::UdpSocket& peer, Annotation annotation = Annotation::kNone)
        : log(&buffer, [](const std::string&) { gTraceLines.fetch_add(1); }) {
        if (annotation != Annotation::kNone) {
            session.SetDecode(annotation == Annotation::kDecodedLines);
            // As the application's trace does it: the controls are read for every block.
            log.SetAnnotator([this](const tarvu::TraceBlock& block, std::string& text) {
                tarvu::TraceContext context;
                context.substitution = gWindow.SubstitutionChecked();
                if (block.direction == 0 && block.stage == 0) {
                    context.destinationAddress = tarvu::DestinationAddress(gWindow);
                    context.destinationPort =
                        static_cast<uint16_t>(tarvu::PortFieldValue(gWindow.SendPortText()));
                }
                session.Observe(block, context, text);
            });
        }
        readPort = tarvu::bench::OpenLoopbackChannel(config, log, peer.LocalPort(), request);
    }
    ~Engine() {
        tarvu::CloseChannel(request);
        tarvu::bench::gLog.store(nullptr);
    }
    bool Open() const { return tarvu::FindChannel(1) != nullptr; }

    tarvu::EngineConfig config;
    tarvu::TraceBuffer buffer;
    tarvu::SessionTracker session;
    tarvu::TraceLog log;
    tarvu::ChannelRequest request;
    uint16_t readPort = 0;
};

void BM_SendLatency(benchmark::State& state) {
    tarvu::UdpSocket peer = LoopbackSocket();
    Engine engine(peer);
    if (!engine.Open()) {
        state.SkipWithError("channel did not open");
        return;
    }
    const uint8_t packet[12] = {0x0B, 0x11, 0x01, 0x02, 0x7E, 0x20, 0x30, 0x7F, 0x40, 0x7D, 0x50};
    uint8_t got[64];
    std::vector<double> micros;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        tarvu::SubmitUserPacket(packet, sizeof packet);
        if (peer.ReceiveFrom(got, sizeof got, nullptr, 1000) <= 0) {
            state.SkipWithError("datagram lost");
            break;
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        micros.push_back(took.count() * 1e6);
    }
    if (micros.empty()) {
        return;
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_SendLatency)->UseManualTime()->Iterations(5000)->Unit(benchmark::kMicrosecond);

// One framed packet of 40 bytes per datagram: the decoder yields one frame from each.
std::vector<uint8_t> Datagram() {
    std::vector<uint8_t> bytes = {0x7E};
    for (uint8_t i = 0; i < 38; ++i) {
        bytes.push_back(static_cast<uint8_t>(0x10 + i));
    }
    bytes.push_back(0x7F);
    return bytes;
}

// Sends one batch and waits until `taken` has grown by `perDatagram` for each datagram.
double CpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU time of every thread but the calling (sending) one: the receiving side's.
double ReceiverCpuSeconds() {
    return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

// Datagrams per second of the receiving side's CPU time: on a machine shared with other work
// it moves far less than the wall-clock rate, which counts the waits for the CPU too.
void SetCpuRate(benchmark::State& state, double receiverCpuStart) {
    const double spent = ReceiverCpuSeconds() - receiverCpuStart;
    if (spent > 0) {
        state.counters["per_receiver_cpu_s"] =
            static_cast<double>(state.iterations()) * kBatch / spent;
    }
}

bool SendBatch(tarvu::UdpSocket& sender, const tarvu::SocketAddressV4& to,
               const std::vector<uint8_t>& datagram, const std::atomic<long>& taken,
               long perDatagram) {
    const long target = taken.load() + kBatch * perDatagram;
    for (int i = 0; i < kBatch; ++i) {
        sender.SendTo(to, datagram.data(), datagram.size());
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    while (taken.load() < target) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// Argument: 0 without the session tracker, 1 with it counting, 2 with decoded lines.
void BM_ReceivePath(benchmark::State& state) {
    tarvu::UdpSocket peer = LoopbackSocket();
    Engine engine(peer, static_cast<Annotation>(state.range(0)));
    if (!engine.Open()) {
        state.SkipWithError("channel did not open");
        return;
    }
    const auto to = tarvu::MakeSocketAddress(tarvu::LoopbackAddress(), engine.readPort);
    const std::vector<uint8_t> datagram = Datagram();
    const double cpuStart = ReceiverCpuSeconds();
    for (auto _ : state) {
        // Two trace lines per datagram: the chunk and the frame decoded from it.
        if (!SendBatch(peer, to, datagram, gTraceLines, 2)) {
            state.SkipWithError("datagrams lost");
            break;
        }
    }
    SetCpuRate(state, cpuStart);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBatch);
}
BENCHMARK(BM_ReceivePath)->Arg(0)->Arg(1)->Arg(2)->UseRealTime();

void BM_BareRecvfromLoop(benchmark::State& state) {
    tarvu::UdpSocket sender = LoopbackSocket();
    tarvu::UdpSocket receiver = LoopbackSocket();
    std::atomic<long> taken{0};
    std::thread loop([&] {
        uint8_t buffer[500];
        // A 0-byte datagram ends the loop.
        while (receiver.Receive(buffer, sizeof buffer, nullptr) > 0) {
            taken.fetch_add(1);
        }
    });
    const auto to = tarvu::MakeSocketAddress(tarvu::LoopbackAddress(), receiver.LocalPort());
    const std::vector<uint8_t> datagram = Datagram();
    const double cpuStart = ReceiverCpuSeconds();
    for (auto _ : state) {
        if (!SendBatch(sender, to, datagram, taken, 1)) {
            state.SkipWithError("datagrams lost");
            break;
        }
    }
    SetCpuRate(state, cpuStart);
    sender.SendTo(to, nullptr, 0);
    loop.join();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBatch);
}
BENCHMARK(BM_BareRecvfromLoop)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
