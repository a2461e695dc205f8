#pragma once
// The classic pcap capture file, written by us on every system: a 24-byte file header (magic
// A1B2C3D4 for microsecond time stamps, version 2.4, zone 0, accuracy 0, snapshot length, link
// type), then per packet a 16-byte record header (seconds, microseconds, bytes kept, bytes the
// packet had) and the bytes kept. Every field is little-endian; readers tell the byte order by
// the magic.

#include "platform/created_file.h"

#include <cstdint>
#include <span>
#include <string>

namespace tarvu {

constexpr uint32_t kPcapMagicMicroseconds = 0xA1B2C3D4;
constexpr uint32_t kPcapFileHeaderSize = 24;
constexpr uint32_t kPcapRecordHeaderSize = 16;
constexpr uint32_t kPcapSnapLength = 65535;
// LINKTYPE_IPV4: every packet starts with its IPv4 header.
constexpr uint32_t kLinkTypeIpv4 = 228;

// The file header for `linkType`.
std::string PcapFileHeader(uint32_t linkType);

// Appends one record to `out`: the `captured` bytes (at most kPcapSnapLength are kept) of a
// packet that had `originalLength` bytes (never less than those kept), at `microseconds` since
// the Unix epoch (times before it are written as the epoch).
void AppendPcapRecord(std::string& out, int64_t microseconds, std::span<const uint8_t> captured,
                      uint32_t originalLength);

class PcapWriter {
public:
    // Creates (or replaces) the file and writes its header. False with `error` set; special
    // files (pipes, devices, terminals) are refused.
    bool Open(const std::string& path, uint32_t linkType, std::string& error);
    bool IsOpen() const { return file_.IsOpen(); }

    // Buffers one record; Flush hands it to the system.
    void Add(int64_t microseconds, std::span<const uint8_t> captured, uint32_t originalLength);
    size_t Buffered() const { return buffer_.size(); }
    // Writes what is buffered. On failure (a full disk) the file is cut back to its last
    // whole record, so that it stays readable, and `error` is set; the buffer is dropped.
    bool Flush(std::string& error);

    // Flushes nothing: call Flush first to keep what is buffered.
    void Close();

private:
    CreatedFile file_;
    std::string path_;
    std::string buffer_;
    uint64_t written_ = 0;  // bytes in the file, all of them whole records
};

}  // namespace tarvu
