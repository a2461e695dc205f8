#include "platform/serial_port.h"

#include "platform/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace tarvu {
namespace {

using Clock = std::chrono::steady_clock;

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Open()); }

    PseudoTerminal pty;
};

TEST_F(SerialPortTest, WriteTimeOutIs19200ByBaudMillisecondsPerByte) {
    EXPECT_EQ(cnsSerialPort::WriteTimeoutMultiplier(19200), 1u);
    EXPECT_EQ(cnsSerialPort::WriteTimeoutMultiplier(9600), 2u);
    EXPECT_EQ(cnsSerialPort::WriteTimeoutMultiplier(115200), 0u);
    EXPECT_EQ(cnsSerialPort::WriteTimeoutMultiplier(300), 64u);
    EXPECT_EQ(cnsSerialPort::WriteTimeoutMultiplier(0), 0u);
}

TEST_F(SerialPortTest, OpensRaw8N1WithoutFlowControlAtStandardAndOtherRates) {
    cnsSerialPort port;
    ASSERT_EQ(port.Open(pty.DevicePath().c_str(), 9600), 1) << port.LastError();
    SerialLineSettings settings;
    ASSERT_TRUE(port.QuerySettings(&settings));
    EXPECT_EQ(settings.baudRate, 9600u);
    EXPECT_EQ(settings.dataBits, 8);
    EXPECT_FALSE(settings.parity);
    EXPECT_EQ(settings.stopBits, 1);
    EXPECT_FALSE(settings.hardwareFlowControl);
    EXPECT_FALSE(settings.softwareFlowControl);
    EXPECT_TRUE(settings.raw);

    // A rate without a termios constant goes through the arbitrary-rate interface.
    port.Close();
    ASSERT_EQ(port.Open(pty.DevicePath().c_str(), 250000), 1) << port.LastError();
    ASSERT_TRUE(port.QuerySettings(&settings));
    EXPECT_EQ(settings.baudRate, 250000u);
    EXPECT_EQ(port.BaudRate(), 250000u);
}

TEST_F(SerialPortTest, OpenFailuresLeaveNothingOpenAndSayWhy) {
    cnsSerialPort port;
    EXPECT_EQ(port.Open("/dev/tarvu-no-such-line", 9600), 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Handle(), -1);
    EXPECT_NE(port.LastError().find("/dev/tarvu-no-such-line"), std::string::npos);
    EXPECT_NE(port.LastError().find("No such file"), std::string::npos);

    EXPECT_EQ(port.Open("/dev/null", 9600), 0);  // not a terminal
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Open(nullptr, 9600), 0);

    // Exclusive: a second opener is refused, also when it runs as the superuser.
    cnsSerialPort first;
    ASSERT_EQ(first.Open(pty.DevicePath().c_str(), 19200), 1);
    EXPECT_EQ(port.Open(pty.DevicePath().c_str(), 19200), 0);
    EXPECT_FALSE(port.IsOpen());
    first.Close();
    EXPECT_EQ(port.Open(pty.DevicePath().c_str(), 19200), 1) << port.LastError();
}

// The line's exclusive mode outlives a descriptor while the line stays (here the pseudo-
// terminal's other side is open): it belongs to the port that holds the line, a refused second
// opener leaves it alone, and closing clears it, or an ordinary user could not open the same
// line again. The superuser may look past the mode, so the check reads the mode itself.
TEST_F(SerialPortTest, ExclusiveModeLastsOnlyWhileThePortHoldsTheLine) {
    const char* path = pty.DevicePath().c_str();
    const auto probeExclusive = [path](int& exclusive) {
        const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return errno;
        }
        const int result = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 ? 0 : errno;
        ::close(fd);
        return result;
    };
    cnsSerialPort first;
    ASSERT_EQ(first.Open(path, 9600), 1) << first.LastError();
    cnsSerialPort second;
    EXPECT_EQ(second.Open(path, 9600), 0);
    int exclusive = 0;
    const int whileOpen = probeExclusive(exclusive);
    if (whileOpen == 0) {
        EXPECT_EQ(exclusive, 1);  // only the superuser gets here
    } else {
        EXPECT_EQ(whileOpen, EBUSY) << std::strerror(whileOpen);
    }

    first.Close();
    exclusive = 1;
    ASSERT_EQ(probeExclusive(exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(first.Open(path, 9600), 1) << first.LastError();
}

TEST_F(SerialPortTest, ReadsWhatWaitsAndTellsAHangUpFromAnEmptyQueue) {
    cnsSerialPort port;
    ASSERT_EQ(port.Open(pty.DevicePath().c_str(), 115200), 1);
    uint8_t buffer[16] = {};
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0);  // nothing waits: not an error
    EXPECT_EQ(port.QueuedBytes(), 0);

    const uint8_t bytes[5] = {0x7E, 0x0A, 0x0D, 0x11, 0x13};  // no byte is translated or eaten
    ASSERT_TRUE(pty.Write(bytes, sizeof bytes, 1000));
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (port.QueuedBytes() < 5 && Clock::now() < until) {
    }
    EXPECT_EQ(port.QueuedBytes(), 5);
    ASSERT_EQ(port.Read(buffer, 3), 3);
    ASSERT_EQ(port.Read(buffer + 3, sizeof buffer), 2);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 5), std::vector<uint8_t>(bytes, bytes + 5));

    pty.CloseFarEnd();
    pty.CloseDeviceSide();
    EXPECT_EQ(port.Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(port.Write(bytes, sizeof bytes), 0);
}

TEST_F(SerialPortTest, WritesReachTheFarEndAndBlockedWritesEnd) {
    cnsSerialPort port;
    ASSERT_EQ(port.Open(pty.DevicePath().c_str(), 9600), 1);
    const uint8_t bytes[3] = {0x01, 0x7F, 0xFF};
    ASSERT_EQ(port.Write(bytes, sizeof bytes), 1);
    uint8_t got[8] = {};
    ASSERT_EQ(pty.Read(got, sizeof got, 1000), 3);
    EXPECT_EQ(std::vector<uint8_t>(got, got + 3), std::vector<uint8_t>(bytes, bytes + 3));

    // At 9600 baud a write that finds no room gives up after 2 ms per byte.
    ASSERT_TRUE(pty.SuspendOutput(true));
    const std::vector<uint8_t> block(100, 0x55);
    const auto start = Clock::now();
    EXPECT_EQ(port.Write(block.data(), block.size()), 0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));

    // Above 19200 baud there is no time-out: only cancelling ends the wait.
    port.Close();
    cnsSerialPort fast;
    ASSERT_EQ(fast.Open(pty.DevicePath().c_str(), 115200), 1);
    std::future<int> blocked =
        std::async(std::launch::async, [&] { return fast.Write(block.data(), block.size()); });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    fast.CancelWrites();
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), 0);
    EXPECT_EQ(fast.Write(bytes, 1), 0);
}

}  // namespace
}  // namespace tarvu
