// A serial channel on a pseudo-terminal: framed traffic written by the far end, taken by the
// event wait and reads of the serial driver, delivered through the worker and cut into frames
// by the channel's decoder. Every decoded packet is checked against what was sent, so a lost,
// changed or reordered byte ends the run with an error. Beside it, on the same kind of line,
// a bare loop of event wait and reads on a completion port, without the engine.

#include "link/engine.h"
#include "link/frame_codec.h"
#include "link/main_window.h"
#include "platform/completion_port.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_port.h"
#include "transport/channel_table.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPacketBytes = 64;
constexpr int kPacketsPerBatch = 1024;

class BenchWindow : public tarvu::MainWindow {
public:
    std::array<uint8_t, 4> ReadIpAddress() const override { return {127, 0, 0, 1}; }
    std::string SendPortText() const override { return "10001"; }
    std::string ReadPortText() const override { return "0"; }
    bool SubstitutionChecked() const override { return true; }
};

BenchWindow gWindow;
tarvu::ChannelRecord gRecord;

// What the decoder has delivered: packets in order, and whether any differed.
std::atomic<uint32_t> gDecodedPackets{0};
std::atomic<bool> gMismatch{false};

// Packet `index`: its number (little-endian) then bytes that include every reserved value, so
// that frames carry escapes.
std::vector<uint8_t> Packet(uint32_t index) {
    std::vector<uint8_t> packet(kPacketBytes);
    std::memcpy(packet.data(), &index, sizeof index);
    for (size_t j = sizeof index; j < packet.size(); ++j) {
        packet[j] = static_cast<uint8_t>(index * 31 + j * 7);
    }
    return packet;
}

int CountDecoded(const tarvu::LinkChannel*, const uint8_t* data, uint32_t length, int direction,
                 const tarvu::nsAddress*, uint32_t, int stage) {
    if (direction != 0 || stage != 1) {
        return 0;
    }
    const uint32_t expected = gDecodedPackets.load();
    const std::vector<uint8_t> want = Packet(expected);
    if (length != want.size() || std::memcmp(data, want.data(), length) != 0) {
        gMismatch = true;
    }
    gDecodedPackets.store(expected + 1);
    return 0;
}

tarvu::MainWindow* Window() {
    return &gWindow;
}

tarvu::ChannelRecord* Lookup(const tarvu::ChannelRequest*) {
    return &gRecord;
}

// The framed bytes of packets first .. first + count - 1, as the far end writes them.
std::vector<uint8_t> FramedBatch(uint32_t first, int count) {
    std::vector<uint8_t> line;
    std::vector<uint8_t> frame(tarvu::FrameAreaSize(kPacketBytes));
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t> packet = Packet(first + static_cast<uint32_t>(i));
        const size_t n = tarvu::FrameEncode(frame.data(), packet.data(), packet.size());
        line.insert(line.end(), frame.begin(), frame.begin() + static_cast<long>(n));
    }
    return line;
}

bool WaitUntil(const std::atomic<uint32_t>& counter, uint32_t target) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (counter.load() < target) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

void BM_SerialReceiveThroughDecoder(benchmark::State& state) {
    tarvu::PseudoTerminal pty;
    if (!pty.Open()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    gRecord = tarvu::ChannelRecord{};
    gRecord.flags = tarvu::kChannelConfigured;
    gRecord.remotePort = 115200;
    std::memcpy(gRecord.serialDevice.data(), pty.DevicePath().c_str(), pty.DevicePath().size() + 1);
    tarvu::EngineConfig config;
    config.size = tarvu::kEngineConfigSize;
    config.callbacks.LookupChannel = Lookup;
    config.callbacks.TraceData = CountDecoded;
    config.callbacks.GetMainWindow = Window;
    tarvu::StartEngine(&config, 0);
    tarvu::ChannelRequest request;
    request.kind = tarvu::kChannelKindSerial;
    request.channelNumber = 1;
    tarvu::OpenChannel(request);
    if (tarvu::FindChannel(1) == nullptr) {
        state.SkipWithError("serial channel did not open");
        return;
    }
    gDecodedPackets = 0;
    gMismatch = false;

    uint32_t sent = 0;
    size_t lineBytes = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> batch = FramedBatch(sent, kPacketsPerBatch);
        if (!pty.Write(batch.data(), batch.size(), 5000)) {
            state.SkipWithError("far end could not write");
            break;
        }
        sent += kPacketsPerBatch;
        lineBytes += batch.size();
        if (!WaitUntil(gDecodedPackets, sent) || gMismatch.load()) {
            state.SkipWithError("packets lost or changed");
            break;
        }
    }
    tarvu::CloseChannel(request);
    state.SetBytesProcessed(static_cast<int64_t>(lineBytes));
    state.counters["packets"] = static_cast<double>(gDecodedPackets.load());
    state.counters["lost"] = static_cast<double>(sent - gDecodedPackets.load());
}
BENCHMARK(BM_SerialReceiveThroughDecoder)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same traffic read by a bare loop: event wait on a completion port, then reads of what
// waits, 500 bytes at a time, nothing decoded.
void BM_BareEventWaitAndRead(benchmark::State& state) {
    tarvu::PseudoTerminal pty;
    tarvu::cnsSerialPort port;
    std::unique_ptr<tarvu::CompletionPort> completions = tarvu::CompletionPort::Create(1);
    if (!pty.Open() || port.Open(pty.DevicePath().c_str(), 115200) != 1 || !completions ||
        completions->Associate(port.Handle(), 1) != 0) {
        state.SkipWithError("no line");
        return;
    }
    std::atomic<uint32_t> taken{0};
    std::atomic<bool> stop{false};
    std::thread loop([&] {
        uint8_t buffer[500];
        tarvu::Overlapped op;
        while (!stop.load()) {
            port.WaitEvent(*completions, &op);
            tarvu::Completion done;
            if (!completions->Get(&done, 50)) {
                continue;
            }
            port.ForgetWaitEvent();
            long n = 0;
            while ((n = port.Read(buffer, sizeof buffer)) > 0) {
                taken.fetch_add(static_cast<uint32_t>(n));
            }
        }
    });
    uint32_t written = 0;
    uint32_t packets = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> batch = FramedBatch(packets, kPacketsPerBatch);
        packets += kPacketsPerBatch;
        if (!pty.Write(batch.data(), batch.size(), 5000)) {
            state.SkipWithError("far end could not write");
            break;
        }
        written += static_cast<uint32_t>(batch.size());
        if (!WaitUntil(taken, written)) {
            state.SkipWithError("bytes lost");
            break;
        }
    }
    stop = true;
    loop.join();
    completions->Detach(port.Handle());
    state.SetBytesProcessed(static_cast<int64_t>(written));
}
BENCHMARK(BM_BareEventWaitAndRead)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
