// What tarvu-cli tells about each received datagram beyond its bytes: datagrams the kernel
// dropped on a full socket buffer (where, and how many, against the socket's own counter),
// datagrams that arrived longer than the receive buffer or empty, and the time each reached
// the socket.

#include "client_test_support.h"
#include "tests/support/capture_reader.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <ctime>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tarvu {
namespace {

using testing::LoopbackPeer;
using testing::ReadFile;

const std::string kNote = std::string(31, ' ') + "...! ";

// The kernel's drop counter of the UDP socket bound to `port`, from /proc/net/udp; -1 when no
// such socket is open.
long KernelDrops(uint16_t port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);  // the column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, field;
        fields >> slot >> local;
        if (local.size() < 5 ||
            std::stoul(local.substr(local.find(':') + 1), nullptr, 16) != port) {
            continue;
        }
        while (fields >> field) {
        }
        return std::stol(field);  // drops is the last column
    }
    return -1;
}

// The trace line of a received datagram whose first four bytes are its number (big-endian).
std::optional<uint32_t> Number(const std::string& line, const std::string& peer) {
    const std::string marker = peer + " --> ";
    const size_t at = line.find(marker);
    if (at == std::string::npos || line.size() < at + marker.size() + 11) {
        return std::nullopt;
    }
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i) {
        n = n << 8 | static_cast<uint32_t>(
                         std::stoul(line.substr(at + marker.size() + 3 * i, 2), nullptr, 16));
    }
    return n;
}

// A socket of the test itself that reads the kernel's receive time of each datagram.
class TimedPeer {
public:
    TimedPeer() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(local.sin_port);
        const timeval limit{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~TimedPeer() { ::close(fd_); }
    uint16_t Port() const { return port_; }

    // Waits for one datagram; its bytes, its source and the kernel's receive time (µs).
    bool Receive(std::vector<uint8_t>& bytes, sockaddr_in& from, int64_t& arrivedMicros) {
        bytes.assign(1500, 0);
        iovec part{bytes.data(), bytes.size()};
        alignas(cmsghdr) uint8_t control[64];
        msghdr header{};
        header.msg_name = &from;
        header.msg_namelen = sizeof from;
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(fd_, &header, 0);
        if (got < 0) {
            return false;
        }
        bytes.resize(static_cast<size_t>(got));
        arrivedMicros = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec when{};
                std::memcpy(&when, CMSG_DATA(c), sizeof when);
                arrivedMicros = int64_t{when.tv_sec} * 1000000 + when.tv_nsec / 1000;
            }
        }
        return arrivedMicros != 0;
    }
    void Send(const sockaddr_in& to, const std::vector<uint8_t>& bytes) {
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

int64_t NowMicros() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

struct CaptureRecord {
    int64_t micros = 0;
    uint32_t capturedLength = 0;
    uint32_t originalLength = 0;
    uint16_t ipLength = 0;
    uint16_t udpLength = 0;
    uint16_t sourcePort = 0;
};

// The capture as libpcap reads it back.
std::vector<CaptureRecord> ReadCapture(const std::filesystem::path& file) {
    const CaptureContents contents = ReadCaptureFile(file);
    EXPECT_TRUE(contents.ok) << contents.error;
    std::vector<CaptureRecord> records;
    for (const CapturedPacket& packet : contents.packets) {
        CaptureRecord r;
        r.micros = packet.seconds * 1000000 + packet.microseconds;
        r.capturedLength = static_cast<uint32_t>(packet.bytes.size());
        r.originalLength = packet.originalLength;
        if (packet.bytes.size() >= 28) {
            r.ipLength = static_cast<uint16_t>(packet.bytes[2] << 8 | packet.bytes[3]);
            r.udpLength = static_cast<uint16_t>(packet.bytes[24] << 8 | packet.bytes[25]);
            r.sourcePort = packet.SourcePort();
        }
        records.push_back(r);
    }
    return records;
}

class WireFactsCli : public ::testing::Test {
protected:
    std::vector<std::string> Arguments(uint16_t destinationPort, std::vector<std::string> extra) {
        std::vector<std::string> arguments = {
            "--settings", (dir_ / "settings.ini").string(), "--to",     "127.0.0.1",
            "--port",     std::to_string(destinationPort),  "--listen", std::to_string(listen_),
            "--no-frame"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return arguments;
    }
    void SendToClient(const std::vector<uint8_t>& bytes) {
        ASSERT_TRUE(
            sender_.SendTo({testing::LoopbackAddress(), listen_}, bytes.data(), bytes.size()));
    }

    testing::TempDirectory dir_;
    uint16_t listen_ = testing::FreeUdpPort();
    PlainUdpSocket sender_;
};

// Two bursts arrive while the engine waits after a sent packet and reads nothing: the socket
// buffer overflows and the kernel drops datagrams. The first gap is said before the datagram
// that follows it, the second (nothing follows it) when the session ends; the trace, the log,
// the figures and the end note all count what the kernel counted.
TEST_F(WireFactsCli, DatagramsTheKernelDroppedAreSaidWhereTheyWereAndCountedAsItCounted) {
    std::string error;
    ASSERT_TRUE(sender_.Bind(0, error)) << error;
    PlainUdpSocket converter;
    ASSERT_TRUE(converter.Bind(0, error)) << error;
    ChildProcess client;
    const std::filesystem::path log = dir_ / "session.log";
    ASSERT_TRUE(client.Start(
        TARVU_CLI_PATH,
        Arguments(converter.LocalPort(),
                  {"--send", "11 01 00 30 00", "--send", "11 01 00 30 00", "--interval", "1500",
                   "--wait", "4000", "--stats", "--log", log.string()}),
        dir_ / "c.out", dir_ / "c.err"));
    const auto burst = [&](uint32_t first, uint32_t count) {
        std::vector<uint8_t> datagram(16, 0xAA);
        for (uint32_t n = first; n < first + count; ++n) {
            for (int i = 0; i < 4; ++i) {
                datagram[static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (24 - 8 * i));
            }
            SendToClient(datagram);
        }
    };
    uint8_t got[64];
    UdpPeer from;
    // Each packet that left starts the engine's 300 ms wait.
    ASSERT_EQ(converter.ReceiveFrom(got, sizeof got, from, 5000), 5) << ReadFile(dir_ / "c.err");
    burst(0, 5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    burst(5000, 1);  // after the gap
    ASSERT_EQ(converter.ReceiveFrom(got, sizeof got, from, 5000), 5) << ReadFile(dir_ / "c.err");
    burst(5001, 5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const long kernelDrops = KernelDrops(listen_);
    ASSERT_EQ(client.Wait(15000), 0) << ReadFile(dir_ / "c.err");
    ASSERT_GT(kernelDrops, 0) << "the bursts did not overflow the socket";

    // Walk the trace: every jump in the numbers has its gap line just before it, and every
    // gap line stands before such a jump (or, after the last datagram, for the lost tail).
    const std::string out = ReadFile(dir_ / "c.out");
    std::istringstream lines(out);
    const std::string peer = LoopbackPeer(sender_.LocalPort());
    long told = 0;
    long pendingGap = 0;
    long received = 0;
    uint32_t next = 0;
    bool tail = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(kNote, 0) == 0) {
            EXPECT_FALSE(tail) << line;
            const std::string text = line.substr(kNote.size());
            const size_t words = text.find(" dropped by the system ");
            ASSERT_NE(words, std::string::npos) << line;
            const long count = std::stol(text);
            const std::string rest = text.substr(words + 23);
            told += count;
            if (rest == "after the last one received") {
                EXPECT_EQ(count, 10001 - static_cast<long>(next)) << line;
                tail = true;
            } else {
                EXPECT_EQ(rest, "here");
                pendingGap = count;
            }
            continue;
        }
        const std::optional<uint32_t> n = Number(line, peer);
        if (!n) {
            continue;
        }
        ++received;
        EXPECT_EQ(pendingGap, static_cast<long>(*n - next)) << line;
        pendingGap = 0;
        next = *n + 1;
    }
    EXPECT_EQ(told, kernelDrops);
    EXPECT_EQ(received + told, 10001);

    const std::string err = ReadFile(dir_ / "c.err");
    EXPECT_NE(err.find("\n  dropped by the system: " + std::to_string(kernelDrops) +
                       " datagrams, cut: 0 datagrams\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("tarvu-cli: the trace is incomplete: " + std::to_string(kernelDrops) +
                       " datagrams dropped by the system\n"),
              std::string::npos)
        << err;
    // The log holds the same lines after its header.
    const std::string text = ReadFile(log);
    ASSERT_EQ(text.rfind("# ", 0), 0u);
    EXPECT_EQ(text.substr(text.find('\n') + 1), out);
}

// A datagram longer than the receive buffer is traced cut with a line that says so, and kept
// in the capture as cut: the headers and the record say the length that arrived. A datagram of
// no bytes is traced and captured like any other.
TEST_F(WireFactsCli, CutAndEmptyDatagramsAreTracedAndCapturedAsTheyArrived) {
    std::string error;
    ASSERT_TRUE(sender_.Bind(0, error)) << error;
    ChildProcess client;
    const std::filesystem::path capture = dir_ / "s.pcap";
    const std::filesystem::path log = dir_ / "s.log";
    ASSERT_TRUE(client.Start(
        TARVU_CLI_PATH,
        Arguments(testing::FreeUdpPort(), {"--count", "3", "--wait", "10000", "--stats", "--pcap",
                                           capture.string(), "--log", log.string()}),
        dir_ / "c.out", dir_ / "c.err"));
    std::vector<uint8_t> longer(620);
    for (size_t i = 0; i < longer.size(); ++i) {
        longer[i] = static_cast<uint8_t>(i);
    }
    // Sent once the client's socket exists.
    for (int i = 0; i < 500 && KernelDrops(listen_) < 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    SendToClient({0x01});
    ASSERT_TRUE(testing::WaitForText(dir_ / "c.out", "--> 01", 5000)) << ReadFile(dir_ / "c.err");
    SendToClient(longer);
    SendToClient({});
    ASSERT_EQ(client.Wait(10000), 0) << ReadFile(dir_ / "c.err");

    const std::string peer = LoopbackPeer(sender_.LocalPort());
    const std::vector<std::string> lines = testing::WithoutTimes(ReadFile(dir_ / "c.out"));
    ASSERT_EQ(lines.size(), 4u) << ReadFile(dir_ / "c.out");
    EXPECT_EQ(lines[0], peer + " --> 01");
    EXPECT_EQ(lines[1].substr(0, peer.size() + 5 + 5), peer + " --> 00 01");
    EXPECT_EQ(lines[1].size(), peer.size() + 5 + 500 * 3 - 1);
    EXPECT_EQ(lines[2], kNote + "cut: 620 bytes arrived, 500 kept");
    EXPECT_EQ(lines[3], peer + " --> ");
    const std::string log_text = ReadFile(log);
    EXPECT_EQ(log_text.substr(log_text.find('\n') + 1), ReadFile(dir_ / "c.out"));
    const std::string err = ReadFile(dir_ / "c.err");
    EXPECT_NE(err.find("\n  dropped by the system: 0 datagrams, cut: 1 datagrams\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("tarvu-cli: the trace is incomplete: 1 datagram cut\n"), std::string::npos)
        << err;

    const std::vector<CaptureRecord> records = ReadCapture(capture);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].capturedLength, 28u + 500u);
    EXPECT_EQ(records[1].originalLength, 28u + 620u);
    EXPECT_EQ(records[1].ipLength, 28u + 620u);
    EXPECT_EQ(records[1].udpLength, 8u + 620u);
    EXPECT_EQ(records[2].capturedLength, 28u);
    EXPECT_EQ(records[2].originalLength, 28u);
    EXPECT_EQ(records[2].udpLength, 8u);
    EXPECT_EQ(records[2].sourcePort, sender_.LocalPort());
}

// The reply time runs from the packet's send to the moment the reply reached the socket, not
// to the moment the engine took it (it waits 300 ms after a typed packet); the capture's time
// stamp of the reply is that moment too.
TEST_F(WireFactsCli, RepliesAreTimedByTheirArrivalAtTheSocket) {
    TimedPeer converter;
    ChildProcess client;
    const std::filesystem::path capture = dir_ / "s.pcap";
    ASSERT_TRUE(client.Start(
        TARVU_CLI_PATH,
        Arguments(converter.Port(), {"--decode", "--send", "11 01 00 30 00", "--count", "1",
                                     "--wait", "5000", "--pcap", capture.string()}),
        dir_ / "c.out", dir_ / "c.err"));
    std::vector<uint8_t> packet;
    sockaddr_in from{};
    int64_t arrived = 0;
    ASSERT_TRUE(converter.Receive(packet, from, arrived)) << ReadFile(dir_ / "c.err");
    const int64_t replySent = NowMicros();
    converter.Send(from, packet);
    const int64_t replyDone = NowMicros();
    ASSERT_EQ(client.Wait(10000), 0) << ReadFile(dir_ / "c.err");

    const std::string out = ReadFile(dir_ / "c.out");
    const size_t at = out.rfind(" reply=");
    ASSERT_NE(at, std::string::npos) << out;
    const long reply = std::stol(out.substr(at + 7));
    // What the converter itself took (scheduling on a busy machine) is not the client's.
    const long converterMs = static_cast<long>((replyDone - arrived) / 1000);
    EXPECT_LT(reply, 5 + converterMs) << out;

    const std::vector<CaptureRecord> records = ReadCapture(capture);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_GE(records[1].micros, replySent - 1000);
    EXPECT_LE(records[1].micros, replyDone + 1000);
}

}  // namespace
}  // namespace tarvu
