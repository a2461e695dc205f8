// The simulator against tarvu-cli echo, and its rule matching.
//
// SimulatorVersusEcho: the real programs on loopback, each answering a client that keeps a
// window of requests outstanding (a new one for every reply) for a second at a time, in turns,
// five rounds: replies a second for `tarvu-cli echo` and for `tarvu-cli simulate` with 100
// rules, each on a message code of its own, the matching one the last, and the ratio. Both
// write their trace to /dev/null.
//
// RuleMatching: the first match among N rules through the rule index against trying every rule
// in order, for a packet that only the last rule matches.

#include "platform/child_process.h"
#include "platform/plain_udp_socket.h"
#include "scenario/rule_index.h"
#include "scenario/source_text.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWindow = 16;
constexpr auto kRunTime = std::chrono::seconds(1);

std::filesystem::path TempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("tarvu-bench-" + name);
}

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The port a program said it listens on ("listening on UDP port N"), waited for.
uint16_t ListeningPort(const std::filesystem::path& err) {
    for (int i = 0; i < 500; ++i) {
        const std::string text = ReadAll(err);
        const size_t at = text.find("UDP port ");
        if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
            return static_cast<uint16_t>(std::stoi(text.substr(at + 9)));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

// A rule file of `rules` rules, one per message code 0x20 + i; the last answers code 0x20 +
// rules - 1.
std::string RuleFile(int rules) {
    std::string text = "listen 0\n";
    for (int i = 0; i < rules; ++i) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "on code=%02X reply dev={dev} addr2=00 code=C9 body={body}\n", 0x20 + i);
        text += line;
    }
    return text;
}

// Replies a second that the peer on `port` gives a client keeping kWindow requests out.
double Rate(uint16_t port, const std::vector<uint8_t>& request) {
    tarvu::PlainUdpSocket client;
    std::string error;
    if (!client.Bind(0, error)) {
        return 0;
    }
    uint32_t loopback = 0;
    const uint8_t octets[4] = {127, 0, 0, 1};
    std::memcpy(&loopback, octets, 4);
    const tarvu::UdpPeer peer{loopback, port};
    for (int i = 0; i < kWindow; ++i) {
        client.SendTo(peer, request.data(), request.size());
    }
    uint8_t buffer[600];
    uint64_t replies = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < kRunTime) {
        tarvu::UdpPeer from;
        const int n = client.ReceiveFrom(buffer, sizeof buffer, from, 100);
        if (n < 0) {
            // A lost datagram: put one more out so the window stays full.
            client.SendTo(peer, request.data(), request.size());
            continue;
        }
        ++replies;
        client.SendTo(peer, request.data(), request.size());
    }
    return static_cast<double>(replies) /
           std::chrono::duration<double>(Clock::now() - start).count();
}

// Starts `arguments` with standard output to /dev/null; the port it listens on, 0 on failure.
uint16_t StartPeer(tarvu::ChildProcess& peer, const std::vector<std::string>& arguments,
                   const std::filesystem::path& err) {
    if (!peer.Start(TARVU_CLI_PATH, arguments, "/dev/null", err)) {
        return 0;
    }
    return ListeningPort(err);
}

// Both peers run at once and are measured in turns, so that a machine whose load changes
// (other builds) weighs on both alike; the figures are the medians of the rounds.
void SimulatorVersusEcho(benchmark::State& state) {
    const int rules = 100;
    const int rounds = 5;
    const std::vector<uint8_t> request = {
        0x11, 0x01, 0x00, 0x30, 0x10, static_cast<uint8_t>(0x20 + rules - 1), 0x01, 0x00, 0xD1};
    const std::filesystem::path rulesFile = TempFile("rules");
    std::ofstream(rulesFile) << RuleFile(rules);
    for (auto _ : state) {
        tarvu::ChildProcess echo;
        tarvu::ChildProcess simulator;
        const uint16_t echoPort = StartPeer(echo, {"echo", "--listen", "0"}, TempFile("echo.err"));
        const uint16_t simulatorPort =
            StartPeer(simulator, {"simulate", rulesFile.string()}, TempFile("sim.err"));
        if (echoPort == 0 || simulatorPort == 0) {
            state.SkipWithError("a peer did not start");
            return;
        }
        std::vector<double> echoRates;
        std::vector<double> simulatorRates;
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) {
            echoRates.push_back(Rate(echoPort, request));
            simulatorRates.push_back(Rate(simulatorPort, request));
            ratios.push_back(simulatorRates.back() / echoRates.back());
        }
        const auto median = [](std::vector<double> values) {
            std::sort(values.begin(), values.end());
            return values[values.size() / 2];
        };
        state.counters["echo_per_s"] = median(echoRates);
        state.counters["simulate_per_s"] = median(simulatorRates);
        state.counters["ratio"] = median(ratios);
        echo.Interrupt();
        simulator.Interrupt();
        echo.Wait(5000);
        simulator.Wait(5000);
    }
    std::filesystem::remove(rulesFile);
    std::filesystem::remove(TempFile("echo.err"));
    std::filesystem::remove(TempFile("sim.err"));
}
BENCHMARK(SimulatorVersusEcho)->Iterations(1)->Unit(benchmark::kSecond);

void RuleMatching(benchmark::State& state) {
    const int rules = static_cast<int>(state.range(0));
    const bool indexed = state.range(1) != 0;
    std::vector<std::string> lines;
    std::vector<tarvu::scenario::PacketPattern> patterns(static_cast<size_t>(rules));
    for (int i = 0; i < rules; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "on code=%02X", (0x20 + i) & 0xFF);
        std::vector<tarvu::scenario::SourceLine> parsed;
        tarvu::scenario::SourceLine bad;
        tarvu::scenario::Failure failure;
        lines.emplace_back(text);
        tarvu::scenario::SplitLines(lines.back(), parsed, bad, failure);
        tarvu::scenario::ParsePacketPattern(parsed[0], 1, 2, patterns[static_cast<size_t>(i)],
                                            failure);
    }
    std::vector<const tarvu::scenario::PacketPattern*> pointers;
    for (const auto& pattern : patterns) {
        pointers.push_back(&pattern);
    }
    const tarvu::scenario::RuleIndex index(pointers);
    const std::vector<uint8_t> packet = {
        0x11, 0x01, 0x00, 0x30, 0x10, static_cast<uint8_t>((0x20 + rules - 1) & 0xFF),
        0x01, 0x00, 0xD1};
    for (auto _ : state) {
        size_t found = tarvu::scenario::RuleIndex::kNoMatch;
        if (indexed) {
            found = index.FirstMatch(packet);
        } else {
            for (size_t i = 0; i < pointers.size() && found == tarvu::scenario::RuleIndex::kNoMatch;
                 ++i) {
                if (pointers[i]->Matches(packet)) {
                    found = i;
                }
            }
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(RuleMatching)->ArgsProduct({{10, 100, 200}, {0, 1}})->ArgNames({"rules", "indexed"});

}  // namespace

BENCHMARK_MAIN();
