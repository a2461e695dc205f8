// tarvu-cli --repeat N --every 10 as a peer receives it: the real program sends N packets to a
// socket of this bench over loopback, and each packet's arrival is set against the schedule
// (k periods after the schedule's start, taken as the median over all packets of arrival less
// k periods, so that a late first packet does not shift every other). Reports the median,
// 99th percentile and largest deviation in microseconds, and how many packets did not come.

#include "platform/child_process.h"
#include "platform/plain_udp_socket.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPeriodMs = 10;

void PeriodicSend(benchmark::State& state) {
    const auto count = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        tarvu::PlainUdpSocket peer;
        std::string error;
        uint16_t listen = 0;
        {
            // The client's read port: free a moment ago.
            tarvu::PlainUdpSocket reserved;
            if (!peer.Bind(0, error) || !reserved.Bind(0, error)) {
                state.SkipWithError(error.c_str());
                return;
            }
            listen = reserved.LocalPort();
        }
        const std::filesystem::path settings =
            std::filesystem::temp_directory_path() / "tarvu-bench-periodic.ini";
        tarvu::ChildProcess client;
        if (!client.Start(TARVU_CLI_PATH,
                          {"--settings", settings.string(), "--to", "127.0.0.1", "--port",
                           std::to_string(peer.LocalPort()), "--listen", std::to_string(listen),
                           "--send", "11 01 00 30 {n:2}", "--repeat", std::to_string(count),
                           "--every", std::to_string(kPeriodMs), "--wait", "0"},
                          "/dev/null", "/dev/null")) {
            state.SkipWithError("cannot start tarvu-cli");
            return;
        }
        std::vector<Clock::time_point> arrivals(count);
        std::vector<bool> seen(count, false);
        size_t received = 0;
        uint8_t buffer[64];
        while (received < count) {
            tarvu::UdpPeer from;
            const int n = peer.ReceiveFrom(buffer, sizeof buffer, from, 2000);
            const Clock::time_point now = Clock::now();
            if (n < 0) {
                break;
            }
            if (n != 6) {
                continue;
            }
            const size_t k = buffer[4] | (size_t{buffer[5]} << 8);
            // {n:2} wraps at 65536; the sends come in order, so the wrap is undone by count.
            const size_t index = k + (received / 65536) * 65536;
            if (index < count && !seen[index]) {
                seen[index] = true;
                arrivals[index] = now;
                ++received;
            }
        }
        client.Wait(10000);
        std::filesystem::remove(settings);
        if (!seen[0]) {
            state.SkipWithError("the first packet did not come");
            return;
        }
        // Each arrival less its place in the schedule: the schedule's phase as this packet shows
        // it. The median phase stands for the schedule; the deviation is the distance from it.
        std::vector<double> phases;
        for (size_t k = 0; k < count; ++k) {
            if (seen[k]) {
                const auto due =
                    arrivals[0] + std::chrono::milliseconds(kPeriodMs) * static_cast<int64_t>(k);
                phases.push_back(
                    std::chrono::duration<double, std::micro>(arrivals[k] - due).count());
            }
        }
        std::vector<double> sorted = phases;
        std::sort(sorted.begin(), sorted.end());
        const double phase = sorted[sorted.size() / 2];
        std::vector<double> deviations;
        for (const double p : phases) {
            deviations.push_back(std::fabs(p - phase));
        }
        std::sort(deviations.begin(), deviations.end());
        const auto at = [&deviations](double q) {
            return deviations[std::min(
                deviations.size() - 1,
                static_cast<size_t>(q * static_cast<double>(deviations.size())))];
        };
        state.counters["p50_us"] = at(0.50);
        state.counters["p99_us"] = at(0.99);
        state.counters["max_us"] = deviations.back();
        state.counters["lost"] = static_cast<double>(count - received);
    }
}
BENCHMARK(PeriodicSend)
    ->Arg(1000)
    ->Arg(10000)
    ->ArgNames({"sends"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
