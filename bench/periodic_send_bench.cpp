// tarvu-cli --repeat N --every 10 as a peer receives it, beside a bare loop on the same
// schedule: the real program sends N packets to a socket of this bench over loopback, and
// each packet's arrival is set against the schedule
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
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPeriodMs = 10;

struct Deviations {
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    size_t lost = 0;
};

// Receives `count` packets "11 01 00 30 k k" on `peer` and sets each arrival against the
// schedule. False when the first packet did not come.
bool Measure(tarvu::PlainUdpSocket& peer, size_t count, Deviations& out) {
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
        const size_t index = buffer[4] | (size_t{buffer[5]} << 8);
        if (index < count && !seen[index]) {
            seen[index] = true;
            arrivals[index] = now;
            ++received;
        }
    }
    if (!seen[0]) {
        return false;
    }
    // Each arrival less its place in the schedule: the schedule's phase as this packet shows
    // it. The median phase stands for the schedule; the deviation is the distance from it.
    std::vector<double> phases;
    for (size_t k = 0; k < count; ++k) {
        if (seen[k]) {
            const auto due =
                arrivals[0] + std::chrono::milliseconds(kPeriodMs) * static_cast<int64_t>(k);
            phases.push_back(std::chrono::duration<double, std::micro>(arrivals[k] - due).count());
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
    out.p50 = at(0.50);
    out.p99 = at(0.99);
    out.max = deviations.back();
    out.lost = count - received;
    return true;
}

void Report(benchmark::State& state, const Deviations& deviations) {
    state.counters["p50_us"] = deviations.p50;
    state.counters["p99_us"] = deviations.p99;
    state.counters["max_us"] = deviations.max;
    state.counters["lost"] = static_cast<double>(deviations.lost);
}

// tarvu-cli --repeat: the product, through the engine's channel.
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
        Deviations deviations;
        const bool measured = Measure(peer, count, deviations);
        client.Wait(10000);
        std::filesystem::remove(settings);
        if (!measured) {
            state.SkipWithError("the first packet did not come");
            return;
        }
        Report(state, deviations);
    }
}
BENCHMARK(PeriodicSend)
    ->Arg(1000)
    ->Arg(10000)
    ->ArgNames({"sends"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// The same schedule from a bare loop in this process (sleep until due, sendto), the best a
// program can do on this machine at this moment: the measure the product is set against.
void BareLoop(benchmark::State& state) {
    const auto count = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        tarvu::PlainUdpSocket peer;
        tarvu::PlainUdpSocket sender;
        std::string error;
        if (!peer.Bind(0, error) || !sender.Bind(0, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        uint32_t loopback = 0;
        const uint8_t octets[4] = {127, 0, 0, 1};
        std::memcpy(&loopback, octets, 4);
        const tarvu::UdpPeer to{loopback, peer.LocalPort()};
        std::thread loop([&sender, to, count] {
            const Clock::time_point start = Clock::now();
            for (size_t k = 0; k < count; ++k) {
                std::this_thread::sleep_until(start + std::chrono::milliseconds(kPeriodMs) *
                                                          static_cast<int64_t>(k));
                const uint8_t packet[6] = {
                    0x11, 0x01, 0x00, 0x30, static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8)};
                sender.SendTo(to, packet, sizeof packet);
            }
        });
        Deviations deviations;
        const bool measured = Measure(peer, count, deviations);
        loop.join();
        if (!measured) {
            state.SkipWithError("the first packet did not come");
            return;
        }
        Report(state, deviations);
    }
}
BENCHMARK(BareLoop)->Arg(1000)->Arg(10000)->ArgNames({"sends"})->Iterations(1)->Unit(
    benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
