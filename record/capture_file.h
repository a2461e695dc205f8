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
// payload longer than an IPv4 datagram can carry is cut to 65507 bytes.
std::vector<uint8_t> BuildIpv4Udp(const UdpEndpoints& endpoints, std::span<const uint8_t> payload);

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
    // the operating system (unflushed datagrams go out by themselves past 64 KiB).
    bool Write(int64_t microseconds, const UdpEndpoints& endpoints,
               std::span<const uint8_t> payload, std::string& error, bool flush = true);
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
