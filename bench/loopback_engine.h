#pragma once
// The engine on loopback for the benchmarks, as the application starts it: the dialog's
// controls as the engine reads them (127.0.0.1, frame coding on, the ports the benchmark sets),
// one channel record, and every traced block handed to the TraceLog that runs, counted by
// its lines.

#include "link/engine.h"
#include "link/main_window.h"
#include "platform/udp_socket.h"
#include "trace/trace_log.h"
#include "transport/channel_table.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace tarvu::bench {

class LoopbackWindow : public MainWindow {
public:
    std::array<uint8_t, 4> ReadIpAddress() const override { return {127, 0, 0, 1}; }
    std::string SendPortText() const override {
        const std::lock_guard<std::mutex> lock(mutex);
        return sendPort;
    }
    std::string ReadPortText() const override {
        const std::lock_guard<std::mutex> lock(mutex);
        return readPort;
    }
    bool SubstitutionChecked() const override { return true; }

    mutable std::mutex mutex;
    std::string sendPort = "9";
    std::string readPort;
};

inline LoopbackWindow gWindow;
inline ChannelRecord gRecord;
inline std::atomic<long> gTraceLines{0};
// The log of the engine that runs, reached from the trace callback as the application's is.
inline std::atomic<TraceLog*> gLog{nullptr};

inline MainWindow* Window() {
    return &gWindow;
}

inline ChannelRecord* Lookup(const ChannelRequest*) {
    return &gRecord;
}

inline int Trace(const LinkChannel*, const uint8_t* data, uint32_t length, int direction,
                 const nsAddress* peer, uint32_t port, int stage) {
    if (TraceLog* log = gLog.load()) {
        log->TraceData(MakeTraceBlock(data, length, direction, peer != nullptr ? peer->address : 0,
                                      port, stage));
    }
    return 1;
}

// A UDP port the kernel reported free a moment ago.
inline uint16_t FreePort() {
    UdpSocket probe = UdpSocket::Create();
    probe.Bind(0);
    return probe.LocalPort();
}

inline UdpSocket LoopbackSocket() {
    UdpSocket s = UdpSocket::Create();
    s.BindLoopback(0);
    return s;
}

// Starts the engine with `config` and the callbacks above, traces into `log`, and opens UDP
// channel 1 on a free read port with `sendPort` as its destination port. Returns the read
// port; `request` is what CloseChannel takes.
inline uint16_t OpenLoopbackChannel(EngineConfig& config, TraceLog& log, uint16_t sendPort,
                                    ChannelRequest& request) {
    config.size = kEngineConfigSize;
    config.callbacks.LookupChannel = Lookup;
    config.callbacks.TraceData = Trace;
    config.callbacks.GetMainWindow = Window;
    StartEngine(&config, 1);
    gLog.store(&log);
    const uint16_t readPort = FreePort();
    {
        const std::lock_guard<std::mutex> lock(gWindow.mutex);
        gWindow.sendPort = std::to_string(sendPort);
        gWindow.readPort = std::to_string(readPort);
    }
    request.kind = kChannelKindUdp;
    request.channelNumber = 1;
    OpenChannel(request);
    return readPort;
}

}  // namespace tarvu::bench
