// tarvu-cli with named pipes: its trace into one that nobody reads, a capture file refused.
#include "app/settings_keys.h"
#include "client_mode_fixture.h"
#include "client_test_support.h"

#include <gtest/gtest.h>

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
