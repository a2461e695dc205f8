#include "client_test_support.h"
#include "tests/support/capture_reader.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvu {
namespace {

using testing::CliRun;
using testing::LoopbackPeer;
using testing::ReadFile;

class SessionRecordCliTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(echo_.started) << ReadFile(dir_ / "echo.err"); }
    void TearDown() override {
        echo_.child.Terminate();
        echo_.child.Wait(5000);
    }
    std::vector<std::string> Arguments(std::vector<std::string> extra) const {
        std::vector<std::string> arguments = {"--settings", (dir_ / "settings.ini").string(),
                                              "--to",       "127.0.0.1",
                                              "--port",     std::to_string(echo_.port),
                                              "--listen",   std::to_string(listenPort_)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }
    size_t EchoReceived() const {
        const std::string out = ReadFile(dir_ / "echo.out");
        return static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
    }

    testing::TempDirectory dir_;
    testing::EchoPeer echo_{dir_};
    uint16_t listenPort_ = testing::FreeUdpPort();
};

TEST_F(SessionRecordCliTest, LogAppendsHeaderAndEveryLineAsPrinted) {
    // The name goes to the program in UTF-8, as a console hands it over on every system.
    const std::filesystem::path log = dir_.Path() / std::filesystem::path(u8"журнал.log");
    const std::u8string logName = log.u8string();
    WriteBytes(log, "kept\n");
    const CliRun run =
        testing::RunCli(dir_, Arguments({"--frame", "--send", "11 01 00 30 00", "--wait", "800",
                                         "--log", std::string(logName.begin(), logName.end())}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string text = ReadFile(log);
    ASSERT_EQ(text.rfind("kept\n# ", 0), 0u) << text;
    const size_t headerEnd = text.find('\n', 5);
    EXPECT_NE(text.substr(0, headerEnd)
                  .find("read port " + std::to_string(listenPort_) +
                        ", destination 127.0.0.1:" + std::to_string(echo_.port) + ", frame on"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.substr(headerEnd + 1), run.out);
    EXPECT_NE(run.out.find(LoopbackPeer(echo_.port) + " --> 7E"), std::string::npos);
}

TEST_F(SessionRecordCliTest, UnopenableFilesExitOneBeforeAnythingIsSent) {
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"--log", (dir_ / "missing" / "x.log").string()},
          std::vector<std::string>{"--log", dir_.Path().string()},
          std::vector<std::string>{"--pcap", (dir_ / "missing" / "x.pcap").string()},
          std::vector<std::string>{"--pcap", dir_.Path().string()},
          // "-" is no standard output here: that carries the trace.
          std::vector<std::string>{"--pcap", "-"}, std::vector<std::string>{"--log", "-"}}) {
        std::vector<std::string> options = {"--send", "01", "--wait", "0"};
        options.insert(options.end(), extra.begin(), extra.end());
        const CliRun run = testing::RunCli(dir_, Arguments(options));
        EXPECT_EQ(run.exitCode, 1) << extra[1];
        EXPECT_NE(run.err.find("tarvu-cli: " + extra[0] + ": " + extra[1]), std::string::npos)
            << run.err;
        EXPECT_EQ(run.out, "");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(EchoReceived(), 0u);
}

// The exchange as it was on the wire, under a Cyrillic name, read back by libpcap on Linux
// and with the same checks on Windows.
TEST_F(SessionRecordCliTest, CaptureHoldsTheExchange) {
    const std::filesystem::path pcap = dir_.Path() / std::filesystem::path(u8"захват.pcap");
    const std::u8string name = pcap.u8string();
    const CliRun run = testing::RunCli(
        dir_, Arguments({"--frame", "--send", "11 01 00 30 00", "--count", "1", "--wait", "3000",
                         "--pcap", std::string(name.begin(), name.end())}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const CaptureContents capture = ReadCaptureFile(pcap);
    ASSERT_TRUE(capture.ok) << capture.error;
    ASSERT_EQ(capture.packets.size(), 2u);
    const std::vector<uint8_t> frame = {0x7E, 0x7D, 0x51, 0x7D, 0x41, 0x7D,
                                        0x40, 0x30, 0x7D, 0x40, 0x7F};
    EXPECT_EQ(capture.packets[0].Payload(), frame);
    EXPECT_EQ(capture.packets[0].SourcePort(), listenPort_);
    EXPECT_EQ(capture.packets[0].DestinationPort(), echo_.port);
    EXPECT_EQ(capture.packets[1].Payload(), frame);
    EXPECT_EQ(capture.packets[1].SourcePort(), echo_.port);
}

TEST_F(SessionRecordCliTest, FullLogIsReportedAndTheSessionGoesOn) {
    const CliRun run =
        testing::RunCli(dir_, Arguments({"--send", "11 01 00 30 00", "--wait", "800", "--log",
                                         "/dev/full", "--pcap", (dir_ / "s.pcap").string()}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("/dev/full: No space left on device; the session goes on"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find(" --> 11 01 00 30 00"), std::string::npos);
    // Two datagrams of 5 bytes after the 24-byte file header, 16 + 28 + 5 bytes each.
    EXPECT_EQ(std::filesystem::file_size(dir_ / "s.pcap"), 24u + 2u * (16u + 28u + 5u));
}

}  // namespace
}  // namespace tarvu
