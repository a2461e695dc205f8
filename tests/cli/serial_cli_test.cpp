#include "client_test_support.h"
#include "platform/pseudo_terminal.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using testing::RunCli;
using testing::TempDirectory;
using testing::WaitForText;

TEST(SerialCli, SessionOnALineSendsFramedPacketsAndTracesBlocksAsTheyCome) {
    TempDirectory dir;
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Open());
    ChildProcess client;
    ASSERT_TRUE(
        client.Start(TARVU_CLI_PATH,
                     {"--settings", (dir / "settings.ini").string(), "--to", "127.0.0.1", "--port",
                      "10002", "--serial", pty.DevicePath(), "--baud", "9600", "--frame", "--send",
                      "11 01 00 30 00", "--count", "2", "--wait", "10000"},
                     dir / "run.out", dir / "run.err"));

    const std::vector<uint8_t> frame = {0x7E, 0x7D, 0x51, 0x7D, 0x41, 0x7D,
                                        0x40, 0x30, 0x7D, 0x40, 0x7F};
    EXPECT_EQ(pty.ReadUpTo(frame.size(), 5000), frame);

    // A reply in two pieces: each piece is one received block, the frame is joined from both.
    const uint8_t first[3] = {0x7E, 0x11, 0x01};
    const uint8_t second[4] = {0x00, 0x31, 0x00, 0x7F};
    ASSERT_TRUE(pty.Write(first, sizeof first, 1000));
    ASSERT_TRUE(WaitForText(dir / "run.out", "--> 7E 11 01\n", 5000));
    ASSERT_TRUE(pty.Write(second, sizeof second, 1000));
    ASSERT_EQ(client.Wait(10000), 0) << testing::ReadFile(dir / "run.err");

    const std::string out = testing::ReadFile(dir / "run.out");
    EXPECT_NE(out.find(" 127.000.000.001:10002 <-- 11 01 00 30 00\n"
                       "                               ... <-- 7E 7D 51 7D 41 7D 40 30 7D 40 7F\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" 000.000.000.000:00000 --> 7E 11 01\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" 000.000.000.000:00000 --> 00 31 00 7F\n"
                       "                               ... --> 11 01 00 31 00\n"),
              std::string::npos)
        << out;
}

TEST(SerialCli, LineThatCannotOpenEndsWithExitOneAndTheReason) {
    TempDirectory dir;
    const testing::CliRun run =
        RunCli(dir, {"--settings", (dir / "settings.ini").string(), "--serial",
                     "/dev/tarvu-no-such-line", "--baud", "9600", "--send", "01", "--wait", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cnsSerialPort::Open: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("/dev/tarvu-no-such-line: No such file or directory"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("<--"), std::string::npos) << run.out;

    // The line and its rate go together; a path that does not fit the record is refused.
    const std::string settings = (dir / "settings.ini").string();
    EXPECT_EQ(RunCli(dir, {"--settings", settings, "--serial", "/dev/ttyS0"}).exitCode, 2);
    EXPECT_EQ(RunCli(dir, {"--settings", settings, "--baud", "9600"}).exitCode, 2);
    EXPECT_EQ(RunCli(dir, {"--settings", settings, "--serial", "/dev/" + std::string(130, 'x'),
                           "--baud", "9600"})
                  .exitCode,
              2);

    // At the limit: 127 bytes and the record's end marker fit (the line is missing: exit 1),
    // 128 bytes do not.
    const std::string longest = "/dev/" + std::string(122, 'x');
    const testing::CliRun fits =
        RunCli(dir, {"--settings", settings, "--serial", longest, "--baud", "9600", "--wait", "0"});
    EXPECT_EQ(fits.exitCode, 1);
    EXPECT_NE(fits.err.find(longest + ": No such file or directory"), std::string::npos)
        << fits.err;
    const testing::CliRun refused = RunCli(
        dir, {"--settings", settings, "--serial", longest + "x", "--baud", "9600", "--wait", "0"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("the device path is longer than 127 bytes"), std::string::npos)
        << refused.err;
}

}  // namespace
}  // namespace tarvu
