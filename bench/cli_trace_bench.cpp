// The whole path of a received datagram in tarvu-cli, from the socket to a trace file: the
// program runs with --frame and its standard output in a file, while this program floods its
// read port with framed 40-byte datagrams as fast as one sender thread can send them. Beside
// it, the same flood into a bare recvfrom loop that writes nothing. Reported per run: the share
// of the flood each receiver took (`taken`), and datagrams per second of the receiver's CPU
// time (`per_receiver_cpu_s`): on a machine shared with other work the second moves far less.
//
// The engine alone (no program around it, no output) is BM_ReceivePath in transport_bench.cpp.
// TARVU_CLI names another tarvu-cli to measure (an older build, for comparison).

#include "platform/child_process.h"
#include "platform/udp_socket.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Datagrams per flood; the receivers get them as fast as the sender can send.
constexpr long kFlood = 200000;

std::vector<uint8_t> Datagram() {
    std::vector<uint8_t> bytes = {0x7E};
    for (uint8_t i = 0; i < 38; ++i) {
        bytes.push_back(static_cast<uint8_t>(0x10 + i));
    }
    bytes.push_back(0x7F);
    return bytes;
}

// Sends the flood; returns the seconds it took.
double Flood(uint16_t port) {
    tarvu::UdpSocket sender = tarvu::UdpSocket::Create();
    sender.BindLoopback(0);
    const auto to = tarvu::MakeSocketAddress(tarvu::LoopbackAddress(), port);
    const std::vector<uint8_t> datagram = Datagram();
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < kFlood; ++i) {
        sender.SendTo(to, datagram.data(), datagram.size());
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Whether a UDP socket is bound to `port` (the child has opened its channel).
bool Listening(uint16_t port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        if (local.size() >= 5 && local.substr(local.size() - 5) == wanted) {
            return true;
        }
    }
    return false;
}

void Report(benchmark::State& state, long taken, double floodSeconds, double cpuSeconds) {
    state.counters["taken"] = static_cast<double>(taken) / kFlood;
    state.counters["sent_per_s"] = kFlood / floodSeconds;
    if (cpuSeconds > 0) {
        state.counters["per_receiver_cpu_s"] = static_cast<double>(taken) / cpuSeconds;
    }
}

void BM_BareRecvfromLoop(benchmark::State& state) {
    for (auto _ : state) {
        tarvu::UdpSocket receiver = tarvu::UdpSocket::Create();
        receiver.BindLoopback(0);
        std::atomic<long> taken{0};
        std::atomic<double> cpu{0};
        std::atomic<bool> ready{false};
        std::thread loop([&] {
            const double start = ThreadCpuSeconds();
            uint8_t buffer[500];
            ready = true;
            // The flood is over once nothing came for 300 ms.
            while (receiver.ReceiveFrom(buffer, sizeof buffer, nullptr, 300) >= 0) {
                taken.fetch_add(1, std::memory_order_relaxed);
            }
            cpu = ThreadCpuSeconds() - start;
        });
        while (!ready) {
            std::this_thread::yield();
        }
        const double seconds = Flood(receiver.LocalPort());
        loop.join();
        Report(state, taken.load(), seconds, cpu.load());
    }
}
BENCHMARK(BM_BareRecvfromLoop)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// tarvu-cli --frame with its trace in a file: two lines per datagram (the datagram and the
// frame decoded from it), --stats for the count it received.
void BM_CliFramedTraceToFile(benchmark::State& state) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarvu-cli-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    for (auto _ : state) {
        const uint16_t port = [] {
            tarvu::UdpSocket probe = tarvu::UdpSocket::Create();
            probe.Bind(0);
            return probe.LocalPort();
        }();
        const double cpuBefore = ChildrenCpuSeconds();
        tarvu::ChildProcess client;
        const char* program = std::getenv("TARVU_CLI");
        if (!client.Start(program != nullptr ? program : TARVU_CLI_PATH,
                          {"--settings", (dir / "settings.ini").string(), "--to", "127.0.0.1",
                           "--port", "9", "--listen", std::to_string(port), "--frame", "--stats"},
                          dir / "trace.txt", dir / "stats.txt")) {
            state.SkipWithError("tarvu-cli did not start");
            break;
        }
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (!Listening(port) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const double seconds = Flood(port);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // what waits is taken
        client.Interrupt();
        if (client.Wait(30000) != 0) {
            state.SkipWithError("tarvu-cli did not end cleanly");
            break;
        }
        const double cpu = ChildrenCpuSeconds() - cpuBefore;
        std::ifstream stats(dir / "stats.txt");
        long taken = -1;
        for (std::string line; std::getline(stats, line);) {
            std::sscanf(line.c_str(), "  received: %ld datagrams", &taken);
        }
        // Every datagram it took is in the file, with its frame (the lines that say where the
        // system dropped datagrams come beside them).
        std::ifstream trace(dir / "trace.txt");
        long datagrams = 0;
        long frames = 0;
        for (std::string line; std::getline(trace, line);) {
            datagrams += line.find(" --> 7E ") != std::string::npos ? 1 : 0;
            frames += line.find("... --> 10 11 ") != std::string::npos ? 1 : 0;
        }
        if (taken < 0 || datagrams != taken || frames != taken) {
            state.SkipWithError("the trace file does not hold each datagram taken and its frame");
            break;
        }
        Report(state, taken, seconds, cpu);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_CliFramedTraceToFile)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
