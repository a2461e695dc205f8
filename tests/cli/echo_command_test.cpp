#include "client_test_support.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using testing::ReadFile;
using testing::ReadLines;
using testing::TempDirectory;

// The echo peer, started on a free port and waited for until it listens.
struct EchoPeer {
    EchoPeer(const TempDirectory& dir, std::vector<std::string> extra = {}) {
        port = testing::FreeUdpPort();
        std::vector<std::string> arguments = {"echo", "--listen", std::to_string(port)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        out = dir / "echo.out";
        err = dir / "echo.err";
        started = child.Start(TARVU_CLI_PATH, arguments, out, err) &&
                  testing::WaitForText(err, "listening", 5000);
    }
    ChildProcess child;
    uint16_t port = 0;
    std::filesystem::path out;
    std::filesystem::path err;
    bool started = false;
};

TEST(EchoCommand, SendsEveryDatagramBackAndTracesBothWays) {
    TempDirectory dir;
    EchoPeer echo(dir, {"--count", "2"});
    ASSERT_TRUE(echo.started) << ReadFile(echo.err);

    PlainUdpSocket client;
    std::string error;
    ASSERT_TRUE(client.Bind(0, error)) << error;
    const UdpPeer to{testing::LoopbackAddress(), echo.port};
    const std::vector<std::vector<uint8_t>> datagrams = {{0x11, 0x01, 0x00, 0x30, 0x00}, {0x7E}};
    for (const auto& datagram : datagrams) {
        ASSERT_TRUE(client.SendTo(to, datagram.data(), datagram.size()));
        uint8_t reply[64];
        UdpPeer from;
        const int n = client.ReceiveFrom(reply, sizeof reply, from, 5000);
        ASSERT_EQ(n, static_cast<int>(datagram.size()));
        EXPECT_EQ(std::vector<uint8_t>(reply, reply + n), datagram);
        EXPECT_EQ(from.port, echo.port);
    }
    // --count 2: the peer ends by itself after the second datagram.
    EXPECT_EQ(echo.child.Wait(5000), 0);

    const std::string peer = testing::LoopbackPeer(client.LocalPort());
    const std::vector<std::string> lines = ReadLines(echo.out);
    ASSERT_EQ(lines.size(), 4u) << ReadFile(echo.out);
    EXPECT_EQ(lines[0].substr(13), peer + " --> 11 01 00 30 00");
    EXPECT_EQ(lines[1].substr(13), peer + " <-- 11 01 00 30 00");
    EXPECT_EQ(lines[2].substr(13), peer + " --> 7E");
    EXPECT_EQ(lines[3].substr(13), peer + " <-- 7E");
    EXPECT_EQ(lines[0][2], ':');
    EXPECT_EQ(lines[0][8], '.');
}

TEST(EchoCommand, EndsCleanlyAtSigintAndSigterm) {
    for (const bool interrupt : {true, false}) {
        TempDirectory dir;
        EchoPeer echo(dir);
        ASSERT_TRUE(echo.started) << ReadFile(echo.err);
        interrupt ? echo.child.Interrupt() : echo.child.Terminate();
        EXPECT_EQ(echo.child.Wait(5000), 0) << (interrupt ? "SIGINT" : "SIGTERM");
    }
}

TEST(EchoCommand, ATakenPortOrAMissingPortIsAnError) {
    TempDirectory dir;
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    const testing::CliRun taken =
        testing::RunCli(dir, {"echo", "--listen", std::to_string(holder.LocalPort())});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("cannot listen on UDP port"), std::string::npos) << taken.err;

    EXPECT_EQ(testing::RunCli(dir, {"echo"}).exitCode, 2);
    EXPECT_EQ(testing::RunCli(dir, {"echo", "--listen", "65536"}).exitCode, 2);
}

}  // namespace
}  // namespace tarvu
