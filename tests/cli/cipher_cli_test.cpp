// tarvu-cli in cipher mode against a peer that decrypts every datagram itself.

#include "app/cli/message_option.h"
#include "app/cli/send_step_poller.h"
#include "client_test_support.h"
#include "tests/link/encrypted_send_decrypt.h"

#include <gtest/gtest.h>

#include <atomic>

namespace tarvu {
namespace {

using testing::CliRun;
using testing::TempDirectory;
using Bytes = std::vector<uint8_t>;
using Key = std::array<uint8_t, 32>;

constexpr char kKeyHex[] =
    "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF 01 23 45 67 89 ab cd ef fe dc ba 98 76 54 32 "
    "10";
constexpr Key kKey = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA,
                      0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB,
                      0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};

// One datagram as the converter reads it.
struct PeerPacket {
    uint32_t deviceAddress = 0;
    uint32_t secondAddress = 0;
    Bytes plain;  // type, qualifier, message code (if any), rest
};

std::optional<PeerPacket> Decode(const Bytes& wire) {
    if (wire.empty() || (wire[0] & 0x80) == 0) {
        return std::nullopt;
    }
    const size_t d = (wire[0] >> 4) & 7;
    const size_t s = wire[0] & 7;
    if (wire.size() < 1 + d + s) {
        return std::nullopt;
    }
    PeerPacket packet;
    for (size_t i = 0; i < d; ++i) {
        packet.deviceAddress |= static_cast<uint32_t>(wire[1 + i]) << (8 * i);
    }
    for (size_t i = 0; i < s; ++i) {
        packet.secondAddress |= static_cast<uint32_t>(wire[1 + d + i]) << (8 * i);
    }
    const auto tail = testing::TestDecryptTail(
        Bytes(wire.begin() + static_cast<ptrdiff_t>(1 + d + s), wire.end()), kKey);
    if (!tail) {
        return std::nullopt;
    }
    packet.plain = tail->plain;
    return packet;
}

class CipherCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(peer_.Bind(0, error)) << error;
        listenPort_ = testing::FreeUdpPort();
    }

    CliRun Run(std::vector<std::string> extra) {
        return testing::RunCli(
            dir_, testing::ClientArguments(dir_, peer_.LocalPort(), listenPort_, std::move(extra)),
            20000);
    }

    // Every datagram that reached the peer, decoded.
    std::vector<PeerPacket> Received() {
        std::vector<PeerPacket> packets;
        uint8_t buffer[600];
        UdpPeer from;
        for (int n; (n = peer_.ReceiveFrom(buffer, sizeof buffer, from, 200)) >= 0;) {
            const auto packet = Decode(Bytes(buffer, buffer + n));
            EXPECT_TRUE(packet.has_value()) << "undecodable datagram of " << n << " bytes";
            if (packet) {
                packets.push_back(*packet);
            }
        }
        return packets;
    }

    TempDirectory dir_;
    PlainUdpSocket peer_;
    uint16_t listenPort_ = 0;
};

TEST_F(CipherCliTest, EveryTypedPacketArrivesEncryptedUnderTheKey) {
    const CliRun run = Run({"--gost-key", kKeyHex, "--send", "11 03 00 30 10 A6 C5 22 D1", "--send",
                            "00 30 00", "--interval", "50", "--wait", "1000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<PeerPacket> packets = Received();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].deviceAddress, 3u);
    EXPECT_EQ(packets[0].secondAddress, 0u);
    EXPECT_EQ(packets[0].plain, (Bytes{0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}));
    EXPECT_EQ(packets[1].plain, (Bytes{0x30, 0x00}));
    // The trace shows the bytes as they left: length byte 0x91, addresses in clear.
    EXPECT_NE(run.out.find(" <-- 91 03 00 "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" <-- 80 "), std::string::npos) << run.out;
}

TEST_F(CipherCliTest, AnnouncedKeyIsA256BitModulusWithExponent65537) {
    const CliRun run =
        Run({"--gost-key", kKeyHex, "--announce-key", "--send", "11 03 00 62 03", "--send",
             "11 03 00 30 10 A6 C5 22 D1", "--interval", "50", "--wait", "1000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<PeerPacket> packets = Received();
    ASSERT_EQ(packets.size(), 2u);
    const Bytes& announcement = packets[0].plain;
    ASSERT_EQ(announcement.size(), 2u + 64u);
    EXPECT_EQ(announcement[0], 0x62);
    EXPECT_EQ(announcement[1], 0x03);
    const Bytes modulus(announcement.begin() + 2, announcement.begin() + 34);  // LSB first
    Bytes exponent(32, 0);
    exponent[0] = 0x01;
    exponent[2] = 0x01;
    EXPECT_EQ(Bytes(announcement.begin() + 34, announcement.end()), exponent);
    // Both primes have their top two bits set, so the modulus is at least 9 * 2^252.
    EXPECT_GE(modulus[31], 0x90);
    EXPECT_EQ(modulus[0] & 1, 1);

    // The message carries the same key block before its whole body.
    Bytes expected = {0x30, 0x10, 0xA6};
    expected.insert(expected.end(), announcement.begin() + 2, announcement.end());
    expected.insert(expected.end(), {0xC5, 0x22, 0xD1});
    EXPECT_EQ(packets[1].plain, expected);
}

TEST_F(CipherCliTest, PollingSendsThePendingMessageThroughTheCycleBuilder) {
    const CliRun run = Run({"--gost-key", kKeyHex, "--message", "ca_SET_1:3:5:0x22",
                            "--poll-interval", "50", "--wait", "1000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<PeerPacket> packets = Received();
    // One copy within the session: the next waits messageWait (3000 ms).
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].deviceAddress, 3u);
    EXPECT_EQ(packets[0].plain, (Bytes{0x30, 0x10, 0xA6, 0xC5, 0x22, 0xD1}));

    // Without polling the message stays pending, as in the dialog.
    const CliRun idle = Run({"--message", "ca_SET_1:3:5:0x22", "--wait", "300"});
    ASSERT_EQ(idle.exitCode, 0) << idle.err;
    EXPECT_TRUE(Received().empty());
}

TEST_F(CipherCliTest, BadCipherArgumentsAreUsageErrors) {
    EXPECT_EQ(Run({"--gost-key", "00 11", "--wait", "0"}).exitCode, 2);
    EXPECT_EQ(Run({"--gost-key", std::string(64, 'g'), "--wait", "0"}).exitCode, 2);
    EXPECT_EQ(Run({"--announce-key", "--wait", "0"}).exitCode, 2);
    const CliRun run = Run({"--message", "0xA6:300", "--wait", "0"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("DEVICE \"300\" is not a number from 0 to 255"), std::string::npos)
        << run.err;
    EXPECT_TRUE(Received().empty());
}

TEST(CipherMessageOption, NamesNumbersAndDefaults) {
    MessageRecord record;
    std::string error;
    ASSERT_TRUE(cli::ParseMessageOption("ca_SET_1:3:5:0x22", 1, record, error)) << error;
    EXPECT_EQ(record.Code(), 0xA6u);
    EXPECT_EQ(record.DeviceAddress(), 3);
    EXPECT_EQ(record.Parameter(), 5);
    EXPECT_EQ(record.Extra(), 0x22);
    EXPECT_EQ(record.ChannelNumber(), 1);

    ASSERT_TRUE(cli::ParseMessageOption("0xa3:255", 1, record, error)) << error;
    EXPECT_EQ(record.Code(), 0xA3u);
    EXPECT_EQ(record.DeviceAddress(), 255);
    EXPECT_EQ(record.Parameter(), 0);
    EXPECT_EQ(record.Extra(), 0);
    ASSERT_TRUE(cli::ParseMessageOption("166:0", 1, record, error)) << error;
    EXPECT_EQ(record.Code(), 166u);

    for (const char* bad : {"A6:3", "0xA6", "0xA6:", "0xA6:3:256", "0xA6:3:1:2:3", "0xA6:-1",
                            "ca_UNKNOWN:1", "0x:1", "0xA6:3x"}) {
        EXPECT_FALSE(cli::ParseMessageOption(bad, 1, record, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(CipherSendStepPoller, PostsAtItsIntervalUntilStopped) {
    std::atomic<int> posts{0};
    cli::SendStepPoller poller(std::chrono::milliseconds(5), [&posts] { ++posts; });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (posts < 3 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    poller.Stop();
    const int atStop = posts;
    EXPECT_GE(atStop, 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(posts, atStop);
}

}  // namespace
}  // namespace tarvu
