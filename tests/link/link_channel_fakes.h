#pragma once
// Test doubles for a channel's surroundings: the transport beneath it, the dialog's controls
// and the application's callbacks (trace, channel records, messages).

#include "link/engine.h"
#include "link/engine_config.h"
#include "link/link_channel.h"
#include "link/link_transport.h"
#include "link/main_window.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace tarvu::testing {

using Bytes = std::vector<uint8_t>;

// Records every call in order; "send" and "sleep N" entries in `events`.
class FakeTransport : public LinkTransport {
public:
    struct Sent {
        nsAddress destination;
        Bytes bytes;
    };

    int Send(const nsAddress& destination, const uint8_t* data, size_t n) override {
        sent.push_back({destination, Bytes(data, data + n)});
        events.push_back("send");
        if (onSend) {
            onSend();
        }
        return 1;
    }
    void PostTimerSend() override { ++posts; }
    void SleepOnStepTimer(uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        events.push_back("sleep " + std::to_string(milliseconds));
        if (onSleep) {
            onSleep();
        }
    }
    bool IsRunning() const override { return running.load(); }
    uint32_t SerialBaudRate() const override { return baudRate; }

    std::vector<Sent> sent;
    std::vector<uint32_t> sleeps;
    std::vector<std::string> events;
    int posts = 0;
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

// The application side: one engine configuration whose callbacks record into this object.
// Only one exists at a time (the engine keeps one process-wide configuration).
class FakeApplication {
public:
    FakeApplication();
    ~FakeApplication();

    // Hands the configuration to the engine; parameters are set beforehand.
    void Start(int acceptUnconfigured = 1);

    // Outlives every test: the engine keeps pointing at it. Cleared callbacks on destruction.
    EngineConfig& config;
    FakeWindow window;
    bool hasWindow = true;
    std::vector<TraceEntry> traces;
    ChannelRecord record;
    bool hasRecord = true;
    std::vector<ChannelRequest> lookups;
    std::vector<MessageRecord> described;
    // FetchMessage hands out `message` while `messagesLeft` > 0; take = 1 counts one down.
    MessageRecord message;
    int messagesLeft = 0;
    std::vector<int> fetchTakes;

    static FakeApplication* current;
};

inline ChannelRequest UdpRequest(uint8_t channelNumber) {
    ChannelRequest request;
    request.kind = kChannelKindUdp;
    request.channelNumber = channelNumber;
    return request;
}

}  // namespace tarvu::testing
