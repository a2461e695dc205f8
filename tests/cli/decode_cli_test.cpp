#include "client_test_support.h"
#include "platform/completion_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace tarvu {
namespace {

using testing::CliRun;
using testing::LoopbackPeer;
using testing::ReadFile;
using testing::WithoutTimes;

const std::string kDecoded = std::string(31, ' ') + "...= ";
// Where the system does not count a socket's drops (Windows), the figures say so.
const std::string kDroppedFigure = CompletionPort::CountsSocketDrops() ? "0 datagrams" : "unknown";

// "reply=<digits>ms" at the end of `line`; -1 when it is not there.
long ReplyMs(const std::string& line) {
    const size_t at = line.rfind(" reply=");
    if (at == std::string::npos || line.size() < at + 10 || line.substr(line.size() - 2) != "ms") {
        return -1;
    }
    const std::string digits = line.substr(at + 7, line.size() - 2 - (at + 7));
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::stol(digits);
}

TEST(DecodeCli, DecodedLinesReplyTimesAndFiguresAgainstTheEchoPeer) {
    testing::TempDirectory dir;
    testing::EchoPeer echo(dir);
    ASSERT_TRUE(echo.started);
    const uint16_t listen = testing::FreeUdpPort();
    const CliRun run = testing::RunCli(
        dir, testing::ClientArguments(dir, echo.port, listen,
                                      {"--decode", "--stats", "--send", "11 05 00 30 10 21 9E 00",
                                       "--count", "1", "--wait", "5000"}));
    echo.child.Terminate();
    echo.child.Wait(5000);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::vector<std::string> lines = WithoutTimes(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    const std::string peer = LoopbackPeer(echo.port);
    const std::string fields =
        "dev=05 addr2=00 type=30 qual=10 code=21(ma_ALARM) param=9E(PARAM_LOST_ACCUM) body=9E 00";
    EXPECT_EQ(lines[0], peer + " <-- 11 05 00 30 10 21 9E 00");
    EXPECT_EQ(lines[1], kDecoded + fields);
    EXPECT_EQ(lines[2], peer + " --> 11 05 00 30 10 21 9E 00");
    ASSERT_EQ(lines[3].rfind(kDecoded + fields + " reply=", 0), 0u) << lines[3];
    const long reply = ReplyMs(lines[3]);
    EXPECT_GE(reply, 0) << lines[3];
    EXPECT_LT(reply, 5000);

    const std::string ms = std::to_string(reply);
    EXPECT_EQ(run.err,
              "tarvu-cli: session figures\n"
              "  sent: 1 datagrams, 8 bytes\n"
              "  received: 1 datagrams, 8 bytes\n"
              "  dropped by the system: " +
                  kDroppedFigure +
                  ", cut: 0 datagrams\n"
                  "  frames decoded: 0, bytes dropped: 0\n"
                  "  reply ms: count 1, min " +
                  ms + ", median " + ms + ", max " + ms +
                  "\n"
                  "  senders seen: 1, new: 0\n");
}

// A converter behind NAT: packets go to one port, the answer comes from another.
TEST(DecodeCli, APeerAnsweringFromAnotherPortIsANewSender) {
    testing::TempDirectory dir;
    PlainUdpSocket inbound;
    PlainUdpSocket outbound;
    std::string error;
    ASSERT_TRUE(inbound.Bind(0, error)) << error;
    ASSERT_TRUE(outbound.Bind(0, error)) << error;
    std::atomic<bool> answered{false};
    std::thread peer([&] {
        uint8_t buffer[600];
        for (int i = 0; i < 2; ++i) {
            UdpPeer from;
            const int n = inbound.ReceiveFrom(buffer, sizeof buffer, from, 5000);
            if (n < 0) {
                return;
            }
            // Framed answer: the client cuts the frame out and decodes it.
            const uint8_t reply[] = {0x7E, 0x00, 0x40, 0x01, 0x7F};
            outbound.SendTo(from, reply, sizeof reply);
        }
        answered = true;
    });
    const uint16_t listen = testing::FreeUdpPort();
    const CliRun run = testing::RunCli(
        dir, testing::ClientArguments(
                 dir, inbound.LocalPort(), listen,
                 {"--frame", "--decode", "--stats", "--send", "00 30 00", "--send", "00 30 00",
                  "--interval", "400", "--count", "2", "--wait", "5000"}));
    peer.join();
    ASSERT_TRUE(answered);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::vector<std::string> lines = WithoutTimes(run.out);
    const std::string from = LoopbackPeer(outbound.LocalPort());
    size_t newSenderLines = 0;
    size_t repliesSeen = 0;
    for (const std::string& line : lines) {
        newSenderLines += line == kDecoded + "new sender " + from ? 1 : 0;
        if (line.rfind(kDecoded + "dev=- addr2=- type=40 qual=01 body=- reply=", 0) == 0) {
            EXPECT_GE(ReplyMs(line), 0) << line;
            ++repliesSeen;
        }
    }
    EXPECT_EQ(newSenderLines, 1u) << run.out;  // said once, not per datagram
    EXPECT_EQ(repliesSeen, 2u) << run.out;
    // The coded frame of a sent packet gets no decoded line of its own.
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(), kDecoded + "dev=- addr2=- type=30 qual=00 body=-"),
        2);
    EXPECT_NE(run.err.find("  sent: 2 datagrams, 14 bytes\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("  received: 2 datagrams, 10 bytes\n"), std::string::npos);
    EXPECT_NE(run.err.find("  frames decoded: 2, bytes dropped: 0\n"), std::string::npos);
    EXPECT_NE(run.err.find("  reply ms: count 2, "), std::string::npos);
    EXPECT_NE(run.err.find("  senders seen: 1, new: 1\n"), std::string::npos);
}

}  // namespace
}  // namespace tarvu
