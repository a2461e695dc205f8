#pragma once
// A capture file in the classic pcap format with link type raw IPv4. Each UDP datagram of the
// session becomes one IPv4+UDP packet, so capture tools show the addresses and ports of the
// trace.

#include "record/pcap_writer.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarvu {

struct UdpEndpoints {
    uint32_t sourceAddress = 0;  // network byte order
    uint16_t sourcePort = 0;
    uint32_t destinationAddress = 0;  // network byte order
    uint16_t destinationPort = 0;
};

// The IPv4 header (with its checksum), the UDP header (checksum 0: none) and the payload. A
// payload longer than an IPv4 datagram can carry is cut to 65507 bytes. `wireLength`, when
// larger than the payload, is the datagram's length as it arrived (the payload being what was
// kept of it): the headers' lengths say that length, so readers see the packet as cut.
std::vector<uint8_t> BuildIpv4Udp(const UdpEndpoints& endpoints, std::span<const uint8_t> payload,
                                  size_t wireLength = 0);

// The length of the IPv4 packet whose UDP payload arrived `wireLength` bytes long.
size_t Ipv4UdpLength(size_t wireLength);

class CaptureFile {
public:
    CaptureFile();
    ~CaptureFile();
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // Creates (or replaces) the file and writes the pcap file header. False with `error` set;
    // only a regular file or a new name is taken ("-" and special files are refused).
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const;

    // Writes one datagram as an IPv4+UDP packet and, unless `flush` is false, flushes it to
    // the operating system (unflushed datagrams go out by themselves past 64 KiB). A
    // `wireLength` larger than the payload records a datagram that arrived that long and was
    // kept cut: the record's original length and the headers say it.
    bool Write(int64_t microseconds, const UdpEndpoints& endpoints,
               std::span<const uint8_t> payload, std::string& error, bool flush = true,
               size_t wireLength = 0);
    // Hands what is buffered to the operating system. False with `error` set (full disk); the
    // file then ends with its last whole packet.
    bool Flush(std::string& error);

    // Closes without flushing.
    void Close();

private:
    PcapWriter writer_;
    std::string path_;
};

}  // namespace tarvu
