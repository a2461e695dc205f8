#pragma once
// A running engine for transport tests: configuration, records, a dialog stand-in, and
// captured trace entries, debug lines and message boxes. Peers are real loopback sockets.

#include "link/engine.h"
#include "link/engine_config.h"
#include "link/main_window.h"
#include "platform/udp_socket.h"
#include "transport/channel_table.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarvu::testing {

class TestWindow : public MainWindow {
public:
    std::array<uint8_t, 4> ReadIpAddress() const override;
    std::string SendPortText() const override;
    std::string ReadPortText() const override;
    bool SubstitutionChecked() const override;

    void Set(uint16_t sendPort, const std::string& readPort);
    void SetSubstitution(bool on);

private:
    mutable std::mutex mutex_;
    std::string sendPort_ = "0";
    std::string readPort_ = "0";
    bool substitution_ = false;
};

struct TraceEntry {
    const LinkChannel* channel;
    std::vector<uint8_t> bytes;
    int direction;
    uint32_t address;
    uint32_t port;
    int stage;
};

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the engine again with another accept rule or user-packet wait.
    void Restart(int acceptUnconfigured, uint32_t userPacketWait);
    ChannelRequest Request(uint8_t channel, uint8_t record = 0,
                           uint8_t kind = kChannelKindUdp) const;
    // Opens channel `channel` on a free read port (returned) with the peer as destination.
    uint16_t OpenOnFreePort(uint8_t channel, uint8_t record = 0);

    // Every trace entry so far, in the order the engine traced them.
    std::vector<TraceEntry> Traced() const;
    std::vector<TraceEntry> Received() const;
    std::vector<TraceEntry> Sent() const;
    std::vector<std::string> DebugLines() const;
    std::vector<std::pair<std::string, std::string>> MessageBoxes() const;
    bool SawDebugLine(const std::string& part) const;

    // Sends from the peer socket to the channel's read port.
    void PeerSend(uint16_t readPort, const std::vector<uint8_t>& bytes);

    static uint16_t FreePort();
    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 2000);

    TestWindow window;
    UdpSocket peer;
    EngineConfig config;
    std::array<ChannelRecord, 4> records = {};
};

}  // namespace tarvu::testing
