// Sends numbered datagrams to a UDP port on this machine as fast as one thread can, in batches
// of 64 per system call, for the soak script (bench/soak.sh). Each datagram is the link packet
// 11 01 00 30 10 A3 followed by its number (4 bytes, big-endian), so every trace line names it.
//
//   tarvu_udp_flood PORT COUNT
//
// Prints "sent COUNT datagrams in S s (R per second)" on standard output.

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarvu_udp_flood PORT COUNT\n");
        return 2;
    }
    const long port = std::strtol(argv[1], nullptr, 10);
    const long count = std::strtol(argv[2], nullptr, 10);
    if (port <= 0 || port > 65535 || count <= 0) {
        std::fprintf(stderr, "tarvu_udp_flood: PORT 1..65535 and COUNT above 0\n");
        return 2;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        std::perror("tarvu_udp_flood");
        return 1;
    }
    constexpr size_t kBatch = 64;
    constexpr size_t kSize = 10;
    std::vector<uint8_t> data(kBatch * kSize);
    std::vector<iovec> parts(kBatch);
    std::vector<mmsghdr> messages(kBatch);
    const uint8_t header[6] = {0x11, 0x01, 0x00, 0x30, 0x10, 0xA3};
    for (size_t i = 0; i < kBatch; ++i) {
        std::memcpy(&data[i * kSize], header, sizeof header);
        parts[i] = iovec{&data[i * kSize], kSize};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const auto start = std::chrono::steady_clock::now();
    long sent = 0;
    while (sent < count) {
        const size_t batch = static_cast<size_t>(std::min<long>(kBatch, count - sent));
        for (size_t i = 0; i < batch; ++i) {
            const auto n = static_cast<uint32_t>(sent + static_cast<long>(i));
            uint8_t* number = &data[i * kSize + sizeof header];
            number[0] = static_cast<uint8_t>(n >> 24);
            number[1] = static_cast<uint8_t>(n >> 16);
            number[2] = static_cast<uint8_t>(n >> 8);
            number[3] = static_cast<uint8_t>(n);
        }
        const int done = ::sendmmsg(fd, messages.data(), static_cast<unsigned>(batch), 0);
        if (done < 0) {
            // A refused datagram (nobody listening yet) is reported on the next send.
            if (errno == ECONNREFUSED) {
                continue;
            }
            std::perror("tarvu_udp_flood");
            return 1;
        }
        sent += done;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("sent %ld datagrams in %.3f s (%.0f per second)\n", sent, seconds,
                static_cast<double>(sent) / seconds);
    ::close(fd);
    return 0;
}
