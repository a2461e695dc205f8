#include "transport_fixture.h"

#include "platform/debug_output.h"
#include "platform/message_box.h"
#include "transport/worker_threads.h"

#include <thread>

namespace tarvu::testing {
namespace {

// The callbacks are plain function pointers, so what they capture lives here.
struct Captured {
    std::mutex mutex;
    std::vector<TraceEntry> traces;
    std::vector<std::string> debug;
    std::vector<std::pair<std::string, std::string>> boxes;
    TestWindow* window = nullptr;
    std::array<ChannelRecord, 4>* records = nullptr;
};

Captured& Capture() {
    static Captured captured;
    return captured;
}

ChannelRecord* Lookup(const ChannelRequest* request) {
    auto* records = Capture().records;
    if (records == nullptr || request->recordIndex >= records->size()) {
        return nullptr;
    }
    return &(*records)[request->recordIndex];
}

int Trace(const LinkChannel* channel, const uint8_t* data, uint32_t length, int direction,
          const nsAddress* peer, uint32_t port, int stage) {
    const std::lock_guard<std::mutex> lock(Capture().mutex);
    Capture().traces.push_back(TraceEntry{channel, std::vector<uint8_t>(data, data + length),
                                          direction, peer->address, port, stage});
    return 0;
}

MainWindow* Window() {
    return Capture().window;
}

}  // namespace

std::array<uint8_t, 4> TestWindow::ReadIpAddress() const {
    return {127, 0, 0, 1};
}

std::string TestWindow::SendPortText() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return sendPort_;
}

std::string TestWindow::ReadPortText() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return readPort_;
}

bool TestWindow::SubstitutionChecked() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return substitution_;
}

void TestWindow::Set(uint16_t sendPort, const std::string& readPort) {
    const std::lock_guard<std::mutex> lock(mutex_);
    sendPort_ = std::to_string(sendPort);
    readPort_ = readPort;
}

void TestWindow::SetSubstitution(bool on) {
    const std::lock_guard<std::mutex> lock(mutex_);
    substitution_ = on;
}

void TransportTest::SetUp() {
    peer = UdpSocket::Create();
    ASSERT_EQ(peer.BindLoopback(0), 0);
    {
        Captured& c = Capture();
        const std::lock_guard<std::mutex> lock(c.mutex);
        c.traces.clear();
        c.debug.clear();
        c.boxes.clear();
        c.window = &window;
        c.records = &records;
    }
    SetDebugSink([](std::string_view text) {
        const std::lock_guard<std::mutex> lock(Capture().mutex);
        Capture().debug.emplace_back(text);
    });
    SetMessageBoxHandler([](const std::string& caption, const std::string& text) {
        const std::lock_guard<std::mutex> lock(Capture().mutex);
        Capture().boxes.emplace_back(caption, text);
    });
    Restart(1, 20);
}

void TransportTest::TearDown() {
    for (int n = 0; n < kChannelSlots; ++n) {
        CloseChannel(Request(static_cast<uint8_t>(n)));
    }
    EXPECT_FALSE(ChannelTableExists());
    EXPECT_EQ(WorkerThreads().Size(), 0u);
    SetDebugSink(nullptr);
    SetMessageBoxHandler(nullptr);
}

void TransportTest::Restart(int acceptUnconfigured, uint32_t userPacketWait) {
    config = EngineConfig{};
    config.size = kEngineConfigSize;
    config.parameters[kUserPacketWait] = userPacketWait;
    config.callbacks.LookupChannel = Lookup;
    config.callbacks.TraceData = Trace;
    config.callbacks.GetMainWindow = Window;
    ASSERT_EQ(StartEngine(&config, acceptUnconfigured), 0);
}

ChannelRequest TransportTest::Request(uint8_t channel, uint8_t record, uint8_t kind) const {
    ChannelRequest request;
    request.kind = kind;
    request.channelNumber = channel;
    request.recordIndex = record;
    return request;
}

uint16_t TransportTest::OpenOnFreePort(uint8_t channel, uint8_t record) {
    const uint16_t port = FreePort();
    window.Set(peer.LocalPort(), std::to_string(port));
    EXPECT_EQ(OpenChannel(Request(channel, record)), 0);
    return port;
}

std::vector<TraceEntry> TransportTest::Traced() const {
    const std::lock_guard<std::mutex> lock(Capture().mutex);
    return Capture().traces;
}

std::vector<TraceEntry> TransportTest::Received() const {
    const std::lock_guard<std::mutex> lock(Capture().mutex);
    std::vector<TraceEntry> received;
    for (const TraceEntry& e : Capture().traces) {
        if (e.direction == 0) {
            received.push_back(e);
        }
    }
    return received;
}

std::vector<TraceEntry> TransportTest::Sent() const {
    const std::lock_guard<std::mutex> lock(Capture().mutex);
    std::vector<TraceEntry> sent;
    for (const TraceEntry& e : Capture().traces) {
        if (e.direction == 1) {
            sent.push_back(e);
        }
    }
    return sent;
}

std::vector<std::string> TransportTest::DebugLines() const {
    const std::lock_guard<std::mutex> lock(Capture().mutex);
    return Capture().debug;
}

std::vector<std::pair<std::string, std::string>> TransportTest::MessageBoxes() const {
    const std::lock_guard<std::mutex> lock(Capture().mutex);
    return Capture().boxes;
}

bool TransportTest::SawDebugLine(const std::string& part) const {
    for (const std::string& line : DebugLines()) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void TransportTest::PeerSend(uint16_t readPort, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(
        peer.SendTo(MakeSocketAddress(LoopbackAddress(), readPort), bytes.data(), bytes.size()),
        kSendDone);
}

uint16_t TransportTest::FreePort() {
    // The kernel picks a port that is free now; tests running in parallel each get their own.
    UdpSocket probe = UdpSocket::Create();
    EXPECT_EQ(probe.Bind(0), 0);
    return probe.LocalPort();
}

bool TransportTest::WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace tarvu::testing
