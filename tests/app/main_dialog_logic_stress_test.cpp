// The application logic on the real transport under load: a loopback peer floods the read
// port while the user-interface thread sends packets, flips the substitution switch and
// reopens the read port. Built to run under ThreadSanitizer as well as normally.

#include "app/control_state.h"
#include "app/main_dialog_logic.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "fake_dialog_view.h"
#include "link/hex_text.h"
#include "platform/message_box.h"
#include "platform/plain_udp_socket.h"
#include "tests/gui/loopback_peer.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tarvu {
namespace {

using Clock = std::chrono::steady_clock;
using test::Bytes;

bool NoAdapters(std::vector<LocalAddress>&) {
    return true;
}

// The fake view with the status fields guarded too, and the controls the engine reads kept in
// a thread-safe state as the real views keep them: the worker reads them while the test writes.
class StressView : public testing::FakeDialogView {
public:
    MainWindow& Controls() override { return state_; }
    void SetReadPortText(const std::string& text) override {
        state_.SetReadPortText(text);
        FakeDialogView::SetReadPortText(text);
    }
    void SetSubstitutionChecked(bool checked) override {
        substitution = checked;
        state_.SetSubstitutionChecked(checked);
    }
    void SetIpAddress(const std::array<uint8_t, 4>& octets) override {
        ip = octets;
        state_.SetIpAddress(octets);
    }
    void SetSendPortText(const std::string& text) override {
        sendPort = text;
        state_.SetSendPortText(text);
    }
    void SetStatusText(int which, const std::string& text) override {
        std::lock_guard<std::mutex> lock(traceMutex);
        FakeDialogView::SetStatusText(which, text);
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(traceMutex);
        return traceLines;
    }

private:
    ControlState state_;
};

// Flood datagrams: "FL", the phase, the sequence number little-endian, "!".
constexpr size_t kFloodLength = 8;

Bytes FloodDatagram(uint8_t phase, uint32_t sequence) {
    return {'F',
            'L',
            phase,
            static_cast<uint8_t>(sequence),
            static_cast<uint8_t>(sequence >> 8),
            static_cast<uint8_t>(sequence >> 16),
            static_cast<uint8_t>(sequence >> 24),
            '!'};
}

struct FloodKey {
    uint8_t phase;
    uint32_t sequence;
};

// The flood datagram a received trace line shows, if it shows one. Received lines carry
// " --> " right after the 34-character time and peer; a datagram that is not a flood datagram
// byte for byte (cut, merged or changed) gives nothing.
std::optional<FloodKey> ReceivedFlood(const std::string& line) {
    constexpr size_t kArrowAt = 34;
    if (line.size() < kArrowAt + 5 || line.compare(kArrowAt, 5, " --> ") != 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    std::string dump = line.substr(kArrowAt + 5);
    if (!dump.empty() && dump.back() == '\n') {
        dump.pop_back();
    }
    if (!ParseHexStrict(dump, bytes, error) || bytes.size() != kFloodLength || bytes[0] != 'F' ||
        bytes[1] != 'L' || bytes[7] != '!') {
        return std::nullopt;
    }
    const uint32_t sequence =
        bytes[3] | (bytes[4] << 8) | (bytes[5] << 16) | (static_cast<uint32_t>(bytes[6]) << 24);
    return FloodKey{bytes[2], sequence};
}

// Sends flood datagrams from one socket to 127.0.0.1:`port` on its own thread.
class Flooder {
public:
    explicit Flooder(uint16_t port) : port_(port) {
        std::string error;
        bound_ = socket_.Bind(0, error);
    }
    ~Flooder() { Join(); }

    bool Bound() const { return bound_; }
    uint16_t Port() const { return socket_.LocalPort(); }

    // Bursts of `burst` datagrams with a millisecond between them, until `count` are sent.
    void Start(uint8_t phase, uint32_t count, uint32_t burst) {
        thread_ = std::thread([this, phase, count, burst] {
            for (uint32_t i = 0; i < count; ++i) {
                const Bytes datagram = FloodDatagram(phase, i);
                socket_.SendTo({test::Loopback(), port_}, datagram.data(), datagram.size());
                sent_.fetch_add(1);
                if ((i + 1) % burst == 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
        });
    }
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    uint32_t Sent() const { return sent_.load(); }
    bool Send(const Bytes& datagram) {
        return socket_.SendTo({test::Loopback(), port_}, datagram.data(), datagram.size());
    }

private:
    uint16_t port_;
    PlainUdpSocket socket_;
    bool bound_ = false;
    std::atomic<uint32_t> sent_{0};
    std::thread thread_;
};

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class MainDialogLogicStress : public ::testing::Test {
protected:
    void SetUp() override {
        previousHandler_ =
            SetMessageBoxHandler([this](const std::string& caption, const std::string& text) {
                std::lock_guard<std::mutex> lock(messagesMutex_);
                messages_.push_back(caption + ": " + text);
            });
    }
    void TearDown() override { SetMessageBoxHandler(std::move(previousHandler_)); }

    std::vector<std::string> Messages() {
        std::lock_guard<std::mutex> lock(messagesMutex_);
        return messages_;
    }

    TempDirectory directory_;
    MessageBoxHandler previousHandler_;
    std::mutex messagesMutex_;
    std::vector<std::string> messages_;
};

TEST_F(MainDialogLogicStress, FloodWithSendsAndReopensLosesAndCorruptsNothing) {
    test::EchoPeer converter(/*echo=*/false);
    ASSERT_TRUE(converter.Bound());
    const uint16_t readPort = test::FreeUdpPort();
    ASSERT_NE(readPort, 0);

    Settings settings(directory_ / "settings.ini");
    ASSERT_TRUE(settings.Write(kSectionUdp, kKeyReadPort, std::to_string(readPort)));
    ASSERT_TRUE(settings.Write(kSectionUdp, kKeySendPort, std::to_string(converter.Port())));
    ASSERT_TRUE(settings.Write(kSectionUdp, kKeyIpAddress, "127.0.0.1"));
    ASSERT_TRUE(settings.Write(kSectionUdp, kKeySubstitution, kValueNo));

    StressView view;
    auto logic =
        std::make_unique<MainDialogLogic>(view, settings, "tarvu", TransportChannels(), NoAdapters);
    logic->Initialise();
    ASSERT_TRUE(logic->ChannelOpen());

    // Phase 1, about two seconds: a flood while the user-interface thread sends, flips the
    // switch and reopens the read port, as a busy engineer would.
    Flooder flood(readPort);
    ASSERT_TRUE(flood.Bound());
    flood.Start(/*phase=*/1, /*count=*/4000, /*burst=*/3);
    int reopens = 0;
    int sends = 0;
    const auto chaosEnd = Clock::now() + std::chrono::seconds(2);
    for (int round = 0; Clock::now() < chaosEnd; ++round) {
        view.packet = "11 01 00 30 " + FormatHexBytes({static_cast<uint8_t>(round)});
        logic->Send();
        ++sends;
        view.SetSubstitutionChecked(round % 2 == 0);
        if (round % 3 == 2) {
            if (round % 2 == 0) {
                logic->ReopenChannel();
            } else {
                view.SetReadPortText(std::to_string(readPort));
                logic->OnReadPortChanged();
            }
            ++reopens;
            ASSERT_TRUE(logic->ChannelOpen());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    flood.Join();
    // A last reopen drops the typed packets still queued, each of which holds the send step
    // for 300 ms.
    logic->ReopenChannel();
    EXPECT_GT(reopens, 10);
    EXPECT_GT(sends, 30);

    // Let the worker drain what is still queued: the count stops moving.
    uint64_t settled = logic->ReceivedDatagrams();
    WaitFor(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const uint64_t now = logic->ReceivedDatagrams();
            const bool still = now == settled;
            settled = now;
            return still;
        },
        std::chrono::seconds(10));
    EXPECT_GT(settled, 0u);

    // Phase 2: with the channel left open and the switch off, every datagram arrives once and
    // whole. The flood keeps at most 64 datagrams ahead of what the engine traced, so that the
    // socket's own buffer never overflows (that loss would be the kernel's, not ours).
    view.SetSubstitutionChecked(false);
    constexpr uint32_t kSteadyCount = 600;
    const uint64_t base = logic->ReceivedDatagrams();
    for (uint32_t i = 0; i < kSteadyCount; ++i) {
        ASSERT_TRUE(WaitFor([&] { return i - (logic->ReceivedDatagrams() - base) < 64; },
                            std::chrono::seconds(20)))
            << "the engine stopped receiving after " << logic->ReceivedDatagrams() - base;
        ASSERT_TRUE(flood.Send(FloodDatagram(2, i)));
    }
    // Sends keep working, and each reaches the converter.
    const size_t convertedBefore = converter.Received().size();
    for (int i = 0; i < 3; ++i) {
        view.packet = "11 02 00 30 0" + std::to_string(i);
        logic->Send();
    }
    EXPECT_TRUE(WaitFor([&] { return logic->ReceivedDatagrams() - base >= kSteadyCount; },
                        std::chrono::seconds(20)));
    EXPECT_TRUE(WaitFor([&] { return converter.Received().size() >= convertedBefore + 3; },
                        std::chrono::seconds(10)));
    EXPECT_EQ(logic->ReceivedDatagrams() - base, kSteadyCount);

    logic->OkSteps();
    logic->DestroySteps();
    EXPECT_FALSE(logic->ChannelOpen());
    logic.reset();

    char floodPeer[32];
    std::snprintf(floodPeer, sizeof floodPeer, "127.000.000.001:%05u --> ", unsigned{flood.Port()});
    std::map<uint32_t, int> steady;
    size_t phaseOneLines = 0;
    size_t receivedLines = 0;
    for (const std::string& line : view.Lines()) {
        if (line.size() >= 39 && line.compare(13, 26, floodPeer) == 0) {
            ++receivedLines;
            const std::optional<FloodKey> key = ReceivedFlood(line);
            ASSERT_TRUE(key.has_value()) << "a flood datagram came in changed: " << line;
            if (key->phase == 2) {
                ++steady[key->sequence];
            } else {
                ASSERT_EQ(key->phase, 1) << line;
                ASSERT_LT(key->sequence, 4000u) << line;
                ++phaseOneLines;
            }
        }
    }
    EXPECT_GT(phaseOneLines, 0u);
    EXPECT_EQ(steady.size(), kSteadyCount);
    for (const auto& [sequence, count] : steady) {
        EXPECT_EQ(count, 1) << "datagram " << sequence;
    }
    EXPECT_EQ(receivedLines, phaseOneLines + kSteadyCount);
    // The converter got whole packets only: the typed ones, raw or framed.
    for (const Bytes& packet : converter.Received()) {
        ASSERT_GE(packet.size(), 5u);
        EXPECT_TRUE(packet[0] == 0x11 || (packet[0] == 0x7E && packet.back() == 0x7F))
            << FormatHexBytes(packet);
    }
    EXPECT_TRUE(Messages().empty()) << Messages().front();
}

}  // namespace
}  // namespace tarvu
