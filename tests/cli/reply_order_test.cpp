#include "client_test_support.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using testing::CliRun;
using testing::LoopbackPeer;
using testing::ReadFile;
using testing::WithoutTimes;
using Lines = std::vector<std::string>;

// The echo comes back while the first packet's 300 ms wait runs and the second press of
// "Send!" comes 100 ms into that wait: the trace keeps the order in which things happened.
TEST(ReplyOrder, EchoOfTheFirstPacketIsTracedBeforeTheSecondPacket) {
    testing::TempDirectory dir;
    testing::EchoPeer echo(dir);
    ASSERT_TRUE(echo.started) << ReadFile(dir / "echo.err");
    const CliRun run = testing::RunCli(
        dir, testing::ClientArguments(dir, echo.port, testing::FreeUdpPort(),
                                      {"--send", "11 01 00 30 00", "--send", "11 02 00 30 00",
                                       "--interval", "100", "--wait", "800"}));
    echo.child.Terminate();
    echo.child.Wait(5000);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string peer = LoopbackPeer(echo.port);
    EXPECT_EQ(WithoutTimes(run.out),
              (Lines{peer + " <-- 11 01 00 30 00", peer + " --> 11 01 00 30 00",
                     peer + " <-- 11 02 00 30 00", peer + " --> 11 02 00 30 00"}));
}

}  // namespace
}  // namespace tarvu
