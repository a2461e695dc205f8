#include "client_test_support.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using testing::ReadFile;
using testing::TempDirectory;

TEST(EchoCommand, SendsEveryDatagramBackAndTracesBothWays) {
    TempDirectory dir;
    testing::EchoPeer echo(dir, {"--count", "2"});
    ASSERT_TRUE(echo.started) << ReadFile(dir / "echo.err");

    PlainUdpSocket client;
    std::string error;
    ASSERT_TRUE(client.Bind(0, error)) << error;
    for (const std::vector<uint8_t>& datagram :
         {std::vector<uint8_t>{0x11, 0x01, 0x00, 0x30}, std::vector<uint8_t>{0x7E}}) {
        ASSERT_TRUE(client.SendTo({testing::LoopbackAddress(), echo.port}, datagram.data(),
                                  datagram.size()));
        uint8_t reply[64];
        UdpPeer from;
        const int n = client.ReceiveFrom(reply, sizeof reply, from, 5000);
        EXPECT_EQ(std::vector<uint8_t>(reply, reply + std::max(n, 0)), datagram);
        EXPECT_EQ(from.port, echo.port);
    }
    // --count 2: the peer ends by itself after the second datagram.
    EXPECT_EQ(echo.child.Wait(5000), 0);
    const std::string peer = testing::LoopbackPeer(client.LocalPort());
    EXPECT_EQ(testing::WithoutTimes(ReadFile(dir / "echo.out")),
              (std::vector<std::string>{peer + " --> 11 01 00 30", peer + " <-- 11 01 00 30",
                                        peer + " --> 7E", peer + " <-- 7E"}));
}

TEST(EchoCommand, EndsAtSignalsAndFailsOnATakenPort) {
    for (const bool interrupt : {true, false}) {
        TempDirectory dir;
        testing::EchoPeer echo(dir);
        ASSERT_TRUE(echo.started) << ReadFile(dir / "echo.err");
        interrupt ? echo.child.Interrupt() : echo.child.Terminate();
        EXPECT_EQ(echo.child.Wait(5000), 0) << (interrupt ? "SIGINT" : "SIGTERM");
    }
    TempDirectory dir;
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    const testing::CliRun taken =
        testing::RunCli(dir, {"echo", "--listen", std::to_string(holder.LocalPort())});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("cannot listen on UDP port"), std::string::npos) << taken.err;
    EXPECT_EQ(testing::RunCli(dir, {"echo"}).exitCode, 2);
}

}  // namespace
}  // namespace tarvu
