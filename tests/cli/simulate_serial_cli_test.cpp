// simulate and run on a serial line, with a pseudo-terminal as the line and the test as its far
// end.

#include "link/frame_codec.h"
#include "platform/pseudo_terminal.h"
#include "scenario_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tarvu {
namespace {

using testing::ReadFile;
using testing::RunCli;
using testing::TempDirectory;
using testing::WaitForText;
using testing::WriteFile;

std::vector<uint8_t> Framed(const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> frame(FrameAreaSize(packet.size()));
    frame.resize(FrameEncode(frame.data(), packet.data(), packet.size()));
    return frame;
}

TEST(SimulateSerialCli, AnswersFramesOnTheLine) {
    TempDirectory dir;
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Open());
    WriteFile(dir / "r.rules", "serial " + pty.DevicePath() +
                                   " 9600\nframe on\n"
                                   "on code=ca_RELOCK reply dev={dev} addr2=00 code=ma_RELOCK "
                                   "body={body}\n");
    ChildProcess sim;
    ASSERT_TRUE(sim.Start(TARVU_CLI_PATH, {"simulate", (dir / "r.rules").string(), "--count", "1"},
                          dir / "sim.out", dir / "sim.err"));
    ASSERT_TRUE(WaitForText(dir / "sim.err", "listening", 5000)) << ReadFile(dir / "sim.err");
    // One request in two pieces: the frame is joined from both.
    const std::vector<uint8_t> request =
        Framed({0x11, 0x05, 0x00, 0x30, 0x10, 0xA3, 0x01, 0x00, 0xD1});
    // The pause lets the simulator read the first piece alone; --count 1 counts the packet,
    // not that read.
    ASSERT_TRUE(pty.Write(request.data(), 4, 1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(pty.Write(request.data() + 4, request.size() - 4, 1000));
    const std::vector<uint8_t> reply =
        Framed({0x11, 0x05, 0x00, 0x30, 0x10, 0xC9, 0x01, 0x00, 0xD1});
    EXPECT_EQ(pty.ReadUpTo(reply.size(), 5000), reply);
    EXPECT_EQ(sim.Wait(5000), 0) << ReadFile(dir / "sim.err");
    const std::string out = ReadFile(dir / "sim.out");
    EXPECT_NE(out.find("... --> 11 05 00 30 10 A3 01 00 D1\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" 000.000.000.000:00000 <-- 11 05 00 30 10 C9 01 00 D1\n"),
              std::string::npos)
        << out;
}

TEST(SimulateSerialCli, RunOnALineAndLinesThatCannotOpen) {
    TempDirectory dir;
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Open());
    WriteFile(dir / "t.scenario", "serial " + pty.DevicePath() +
                                      " 9600\ntest \"poll\"\n  send 11 01 00 30 00\n"
                                      "  expect 11 01 00 30 00 within 3s\n");
    testing::CliRun run;
    std::thread runner([&] {
        run = RunCli(dir, {"run", (dir / "t.scenario").string(), "--settings",
                           (dir / "settings.ini").string()});
    });
    const std::vector<uint8_t> poll = {0x11, 0x01, 0x00, 0x30, 0x00};
    const std::vector<uint8_t> sent = pty.ReadUpTo(poll.size(), 5000);
    ASSERT_TRUE(pty.Write(sent.data(), sent.size(), 1000));
    runner.join();
    EXPECT_EQ(sent, poll);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;

    WriteFile(dir / "t.scenario", "serial /dev/tarvu-no-such-line 9600\ntest \"a\"\n  expect *\n");
    const testing::CliRun missing = RunCli(
        dir, {"run", (dir / "t.scenario").string(), "--settings", (dir / "settings.ini").string()});
    EXPECT_EQ(missing.exitCode, 3) << missing.err;
    EXPECT_NE(missing.err.find("/dev/tarvu-no-such-line"), std::string::npos) << missing.err;
    WriteFile(dir / "r.rules", "serial /dev/tarvu-no-such-line 9600\n");
    const testing::CliRun sim = RunCli(dir, {"simulate", (dir / "r.rules").string()});
    EXPECT_EQ(sim.exitCode, 3);
    EXPECT_NE(sim.err.find("/dev/tarvu-no-such-line"), std::string::npos) << sim.err;
}

}  // namespace
}  // namespace tarvu
