#pragma once
// Test doubles around a channel: the transport beneath it, the dialog's controls and the
// application's callbacks, plus a fixture that owns one channel.

#include "link/engine.h"
#include "link/link_channel.h"
#include "link/link_channel_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace tarvu::testing {

using Bytes = std::vector<uint8_t>;

// Records sends and timer sleeps in order in `events` ("send", "sleep 300").
class FakeTransport : public LinkTransport {
public:
    int Send(const nsAddress& destination, const uint8_t* data, size_t n) override {
        sent.emplace_back(data, data + n);
        destinations.push_back(destination);
        events.push_back("send");
        if (onSend) {
            onSend();
        }
        return 1;
    }
    void PostTimerSend() override { ++posts; }
    void SleepOnStepTimer(uint32_t milliseconds) override {
        events.push_back("sleep " + std::to_string(milliseconds));
        if (onSleep) {
            onSleep();
        }
    }
    bool IsRunning() const override { return running; }
    uint32_t SerialBaudRate() const override { return baudRate; }

    std::vector<Bytes> sent;
    std::vector<nsAddress> destinations;
    std::vector<std::string> events;
    std::atomic<int> posts{0};
    std::atomic<bool> running{true};
    uint32_t baudRate = 0;
    std::function<void()> onSend;
    std::function<void()> onSleep;  // e.g. close the channel during a wait
};

class FakeWindow : public MainWindow {
public:
    std::array<uint8_t, 4> ReadIpAddress() const override { return ip; }
    std::string SendPortText() const override { return sendPort; }
    std::string ReadPortText() const override { return "10001"; }
    bool SubstitutionChecked() const override { return substitution; }

    std::array<uint8_t, 4> ip = {192, 168, 1, 10};
    std::string sendPort = "10001";
    bool substitution = false;
};

struct TraceEntry {
    const LinkChannel* channel;
    Bytes bytes;
    int direction;
    uint32_t address;
    uint32_t port;
    int stage;
};

// The application side. Its callbacks record into the one live instance.
struct FakeApplication {
    FakeApplication() {
        current = this;
        config = EngineConfig{};
        config.size = kEngineConfigSize;
        const uint32_t values[] = {0, 0, 0, 300, 2000, 3000, 10000, 0, 1, 3, 3, 10, 3, 1000, 5};
        std::copy(std::begin(values), std::end(values), config.parameters);
        LinkCallbacks& c = config.callbacks;
        c.TraceData = [](const LinkChannel* ch, const uint8_t* data, uint32_t n, int direction,
                         const nsAddress* peer, uint32_t port, int stage) {
            current->traces.push_back(
                {ch, Bytes(data, data + n), direction, peer->address, port, stage});
            return 0;
        };
        c.LookupChannel = [](const ChannelRequest* request) -> ChannelRecord* {
            current->lookups.push_back(*request);
            return current->hasRecord ? &current->record : nullptr;
        };
        c.DescribeMessage = [](MessageRecord* m) {
            current->described.push_back(*m);
            return 1;
        };
        c.FetchMessage = [](const ChannelRequest*, MessageRecord* out, int take) -> uint16_t {
            current->fetchTakes.push_back(take);
            if (current->messagesLeft <= 0) {
                return 0;
            }
            *out = current->message;
            current->messagesLeft -= take;
            return 1;
        };
        c.GetMainWindow = []() -> MainWindow* {
            return current->hasWindow ? &current->window : nullptr;
        };
        record.deviceType = kDeviceTypeDefault;
        record.flags = kChannelConfigured;
    }
    ~FakeApplication() {
        config.callbacks = LinkCallbacks{};
        current = nullptr;
    }
    void Start(int acceptUnconfigured = 1) { StartEngine(&config, acceptUnconfigured); }

    static inline FakeApplication* current = nullptr;
    static inline EngineConfig config;  // outlives the tests: the engine keeps pointing at it
    FakeWindow window;
    bool hasWindow = true;
    std::vector<TraceEntry> traces;
    ChannelRecord record;
    bool hasRecord = true;
    std::vector<ChannelRequest> lookups;
    std::vector<MessageRecord> described;
    MessageRecord message;  // handed out by FetchMessage while messagesLeft > 0
    int messagesLeft = 0;
    std::vector<int> fetchTakes;
};

// One UDP channel number 1 over a fake transport; created on first use so that a test can
// set link parameters first.
class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override { app.Start(); }

    LinkChannel& Channel() {
        if (!channel) {
            ChannelRequest request;
            request.kind = kChannelKindUdp;
            request.channelNumber = 1;
            channel = std::make_unique<LinkChannel>(request, transport);
        }
        return *channel;
    }
    LinkChannel::State& S() { return Channel().Internals(); }
    void Reopen() {
        app.Start();
        channel.reset();
    }

    // The Send command's path: store the bytes, flag them, queue them.
    void Submit(const Bytes& bytes) {
        StoreUserPacket(bytes.data(), static_cast<uint16_t>(bytes.size()));
        Channel().SetUserPacketPending(true);
        Channel().QueueUserPacket();
    }
    // An engine-built packet at the tail, as the cycle builder queues them.
    void QueueAccounted(const Bytes& bytes, uint32_t wait = 2000) {
        auto packet = std::make_unique<LinkPacket>(LinkPacket::Parse(bytes.data(), bytes.size()));
        packet->wait = wait;
        S().sendQueue.PushBack(std::move(packet));
    }
    Bytes HeadBytes() {
        const LinkPacket* head = S().sendQueue.Head();
        return head != nullptr ? Bytes(head->Data(), head->Data() + head->Length()) : Bytes{};
    }

    FakeApplication app;
    FakeTransport transport;
    std::unique_ptr<LinkChannel> channel;
};

}  // namespace tarvu::testing
