#include "link_channel_fakes.h"

namespace tarvu::testing {
namespace {

int RecordTrace(const LinkChannel* channel, const uint8_t* data, uint32_t length, int direction,
                const nsAddress* peer, uint32_t port, int stage) {
    FakeApplication::current->traces.push_back(
        {channel, Bytes(data, data + length), direction, peer->address, port, stage});
    return 0;
}

ChannelRecord* Lookup(const ChannelRequest* request) {
    FakeApplication& app = *FakeApplication::current;
    app.lookups.push_back(*request);
    return app.hasRecord ? &app.record : nullptr;
}

int Describe(MessageRecord* message) {
    FakeApplication::current->described.push_back(*message);
    return 1;
}

uint16_t Fetch(const ChannelRequest*, MessageRecord* out, int take) {
    FakeApplication& app = *FakeApplication::current;
    app.fetchTakes.push_back(take);
    if (app.messagesLeft <= 0) {
        return 0;
    }
    *out = app.message;
    if (take == 1) {
        --app.messagesLeft;
    }
    return 1;
}

MainWindow* Window() {
    FakeApplication& app = *FakeApplication::current;
    return app.hasWindow ? &app.window : nullptr;
}

EngineConfig& SharedConfig() {
    static EngineConfig config;
    return config;
}

}  // namespace

FakeApplication* FakeApplication::current = nullptr;

FakeApplication::FakeApplication() : config(SharedConfig()) {
    current = this;
    config = EngineConfig{};
    config.size = kEngineConfigSize;
    config.localPort = 10001;
    // The values the application uses.
    const uint32_t defaults[kLinkParameterCount] = {0, 0, 0, 300, 2000, 3000, 10000, 0,
                                                    1, 3, 3, 10,  3,    1000, 5};
    for (size_t i = 0; i < kLinkParameterCount; ++i) {
        config.parameters[i] = defaults[i];
    }
    config.callbacks.LookupChannel = &Lookup;
    config.callbacks.DescribeMessage = &Describe;
    config.callbacks.TraceData = &RecordTrace;
    config.callbacks.FetchMessage = &Fetch;
    config.callbacks.GetMainWindow = &Window;
    record.deviceType = kDeviceTypeDefault;
    record.flags = kChannelConfigured;
}

FakeApplication::~FakeApplication() {
    config.callbacks = LinkCallbacks{};
    current = nullptr;
}

void FakeApplication::Start(int acceptUnconfigured) {
    StartEngine(&config, acceptUnconfigured);
}

}  // namespace tarvu::testing
