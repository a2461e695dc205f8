#pragma once
// Reads a pcap capture file back for the tests. On Linux libpcap reads it, so the judge of our
// writer is a reader of its own; Windows builds have no libpcap and read the format with a
// small reader of the tests' own (capture_reader_plain.cpp).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvu {

struct CapturedPacket {
    int64_t seconds = 0;
    int64_t microseconds = 0;
    uint32_t originalLength = 0;
    std::vector<uint8_t> bytes;  // as kept in the file

    // The UDP payload and ports of a raw IPv4 packet with a 20-byte header.
    std::vector<uint8_t> Payload() const;
    uint16_t SourcePort() const;
    uint16_t DestinationPort() const;
};

struct CaptureContents {
    bool ok = false;    // the file opened and was read to its end without an error
    std::string error;  // why not
    int linkType = -1;
    std::vector<CapturedPacket> packets;
};

CaptureContents ReadCaptureFile(const std::filesystem::path& path);

}  // namespace tarvu
