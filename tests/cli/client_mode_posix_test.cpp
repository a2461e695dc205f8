// tarvu-cli with named pipes: its trace into one that nobody reads or whose reader goes away,
// a capture file refused.
#include "app/settings_keys.h"
#include "client_mode_fixture.h"
#include "client_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarvu {
namespace {

TEST_F(ClientModeTest, AStandardOutputNobodyReadsDoesNotHoldUpTheEndAfterASignal) {
    const std::filesystem::path fifo = dir_ / "trace.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Held open but never read: the pipe fills and stays full.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ChildProcess client;
    ASSERT_TRUE(client.Start(TARVU_CLI_PATH, Arguments({"--send", "01"}), fifo, dir_ / "c.err"));
    ASSERT_TRUE(testing::WaitForText(dir_ / "echo.out", "--> 01", 5000))
        << ReadFile(dir_ / "c.err");

    // 500-byte datagrams trace as lines of some 1500 characters: a few dozen fill the pipe.
    PlainUdpSocket sender;
    std::string error;
    ASSERT_TRUE(sender.Bind(0, error)) << error;
    const std::vector<uint8_t> datagram(500, 0x5A);
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(sender.SendTo({testing::LoopbackAddress(), listenPort_}, datagram.data(),
                                  datagram.size()));
        if (i % 50 == 49) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    client.Terminate();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Wait(5000), 0) << "the closing sequence waited for standard output";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    ::close(reader);
    const std::string err = ReadFile(dir_ / "c.err");
    EXPECT_NE(err.find(" trace lines not written to standard output"), std::string::npos) << err;
    EXPECT_EQ(Stored(kKeyMacAddress), "01");
}

// `tarvu-cli ... | head -n 2`: the reader takes two lines and closes the pipe.
TEST_F(ClientModeTest, AReaderThatGoesAwayEndsTheSessionAsAStopSignalDoes) {
    const std::filesystem::path fifo = dir_ / "trace.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ChildProcess client;
    ASSERT_TRUE(client.Start(TARVU_CLI_PATH,
                             Arguments({"--send", "01", "--log", (dir_ / "s.log").string()}), fifo,
                             dir_ / "c.err"));
    std::string head;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::count(head.begin(), head.end(), '\n') < 2 &&
           std::chrono::steady_clock::now() < deadline) {
        char buffer[256];
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        if (n > 0) {
            head.append(buffer, static_cast<size_t>(n));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ::close(reader);
    ASSERT_NE(head.find("--> 01"), std::string::npos) << head << ReadFile(dir_ / "c.err");

    // The next line traced finds nobody to read it.
    PlainUdpSocket sender;
    std::string error;
    ASSERT_TRUE(sender.Bind(0, error)) << error;
    const uint8_t datagram[] = {0x5A, 0xA5};
    ASSERT_TRUE(sender.SendTo({testing::LoopbackAddress(), listenPort_}, datagram, 2));
    EXPECT_EQ(client.Wait(5000), 141);
    const std::string err = ReadFile(dir_ / "c.err");
    EXPECT_NE(err.find("tarvu-cli: standard output was closed"), std::string::npos) << err;
    // The closing sequence ran: the packet and the fields given on the command line are saved.
    EXPECT_EQ(Stored(kKeyMacAddress), "01");
    EXPECT_EQ(Stored(kKeyReadPort), std::to_string(listenPort_));
    EXPECT_EQ(Stored(kKeySendPort), std::to_string(echo_.port));
    // The log has the line that could no longer be printed.
    EXPECT_NE(ReadFile(dir_ / "s.log").find("--> 5A A5\n"), std::string::npos)
        << ReadFile(dir_ / "s.log");
}

// The echo peer ignores SIGPIPE too (it installs the same stop handling), so it must end by
// itself when its reader goes away instead of echoing on with nobody reading.
TEST(EchoCommand, EndsWhenTheReaderOfItsTraceGoesAway) {
    testing::TempDirectory dir;
    const std::filesystem::path fifo = dir / "trace.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const uint16_t port = testing::FreeUdpPort();
    ChildProcess echo;
    ASSERT_TRUE(echo.Start(TARVU_CLI_PATH, {"echo", "--listen", std::to_string(port)}, fifo,
                           dir / "echo.err"));
    ASSERT_TRUE(testing::WaitForText(dir / "echo.err", "listening", 5000));
    ::close(reader);
    PlainUdpSocket sender;
    std::string error;
    ASSERT_TRUE(sender.Bind(0, error)) << error;
    const uint8_t datagram[] = {0x01};
    ASSERT_TRUE(sender.SendTo({testing::LoopbackAddress(), port}, datagram, 1));
    EXPECT_EQ(echo.Wait(5000), 141);
    // The datagram still went back.
    uint8_t reply[4];
    UdpPeer from;
    EXPECT_EQ(sender.ReceiveFrom(reply, sizeof reply, from, 2000), 1);
    EXPECT_NE(ReadFile(dir / "echo.err").find("standard output was closed"), std::string::npos);
}

// A named pipe as the capture file held the session before it began, waiting for a reader.
TEST_F(ClientModeTest, ANamedPipeAsCaptureFileIsRefusedAtOnce) {
    const std::filesystem::path fifo = dir_ / "capture.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const CliRun run = testing::RunCli(
        dir_, Arguments({"--send", "01", "--wait", "0", "--pcap", fifo.string()}), 5000);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "tarvu-cli: --pcap: " + fifo.string() + ": not a regular file\n");
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace tarvu
