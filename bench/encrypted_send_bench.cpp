// What the encrypted send adds to a send step: one step with a 118-byte body sent plain, the
// same step encrypted, and encrypted while a key exchange is pending (64 more bytes to
// encrypt). The once-per-channel key pair is measured on its own.

#include "link/encrypted_send.h"
#include "link/engine.h"
#include "link/link_channel.h"
#include "link/link_channel_state.h"
#include "link/main_window.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace tarvu {
namespace {

constexpr size_t kBodyLength = 118;

class NullTransport final : public LinkTransport {
public:
    int Send(const nsAddress&, const uint8_t* data, size_t n) override {
        benchmark::DoNotOptimize(data);
        benchmark::DoNotOptimize(n);
        return 0;
    }
    void PostTimerSend() override {}
    void SleepOnStepTimer(uint32_t) override {}
    bool IsRunning() const override { return true; }
};

class FixedWindow final : public MainWindow {
public:
    std::array<uint8_t, 4> ReadIpAddress() const override { return {127, 0, 0, 1}; }
    std::string SendPortText() const override { return "10001"; }
    std::string ReadPortText() const override { return "10002"; }
    bool SubstitutionChecked() const override { return false; }
};

FixedWindow gWindow;
ChannelRecord gRecord;
EngineConfig gConfig;

void StartBenchEngine() {
    gConfig.size = kEngineConfigSize;
    gConfig.callbacks.GetMainWindow = []() -> MainWindow* { return &gWindow; };
    gConfig.callbacks.LookupChannel = [](const ChannelRequest*) -> ChannelRecord* {
        return &gRecord;
    };
    for (size_t i = 0; i < gRecord.key.size(); ++i) {
        gRecord.key[i] = static_cast<uint8_t>(i * 13 + 5);
    }
    StartEngine(&gConfig, 1);
}

// 11 03 00 30 00 and a 118-byte body: an accounted-free packet with no wait after it.
LinkPacket BenchPacket() {
    std::vector<uint8_t> bytes = {0x11, 0x03, 0x00, 0x30, 0x00};
    for (size_t i = 0; i < kBodyLength; ++i) {
        bytes.push_back(static_cast<uint8_t>(i * 7 + 1));
    }
    LinkPacket packet = LinkPacket::Parse(bytes.data(), bytes.size());
    packet.wait = 0;
    packet.accounted = 0;
    return packet;
}

std::unique_ptr<LinkChannel> BenchChannel(NullTransport& transport) {
    ChannelRequest request;
    request.kind = kChannelKindUdp;
    request.channelNumber = 1;
    return std::make_unique<LinkChannel>(request, transport);
}

void RunSteps(benchmark::State& state, uint32_t cipherOn, uint32_t keyEstablished) {
    StartBenchEngine();
    NullTransport transport;
    auto channel = BenchChannel(transport);
    LinkChannel::State& s = channel->Internals();
    s.cipherOn = cipherOn;
    s.keyEstablished = keyEstablished;
    const LinkPacket packet = BenchPacket();
    // The key pair is made before timing starts: only the per-packet work is measured here.
    s.sendQueue.PushBack(std::make_unique<LinkPacket>(packet.Clone()));
    channel->SendStep();
    for (auto _ : state) {
        s.sendQueue.PushBack(std::make_unique<LinkPacket>(packet.Clone()));
        benchmark::DoNotOptimize(channel->SendStep());
    }
}

void BM_SendStepPlain(benchmark::State& state) {
    RunSteps(state, 0, 1);
}
void BM_SendStepEncrypted(benchmark::State& state) {
    RunSteps(state, 1, 1);
}
void BM_SendStepEncryptedKeyPending(benchmark::State& state) {
    RunSteps(state, 1, 0);
}

// The one-time cost a channel pays on its first send while a key exchange is pending.
void BM_ChannelKeyPair(benchmark::State& state) {
    RsaPublicKey publicKey{};
    RsaPrivateKey privateKey{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(GenerateChannelKeyPair(publicKey, privateKey));
    }
}

BENCHMARK(BM_SendStepPlain);
BENCHMARK(BM_SendStepEncrypted);
BENCHMARK(BM_SendStepEncryptedKeyPending);
BENCHMARK(BM_ChannelKeyPair);

}  // namespace
}  // namespace tarvu

BENCHMARK_MAIN();
