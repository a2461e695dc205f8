#include "record/pcap_writer.h"

#include "platform/byte_order.h"

#include <algorithm>

namespace tarvu {
namespace {

void Put32(std::string& out, uint32_t value) {
    uint8_t bytes[4];
    StoreLe32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

void Put16(std::string& out, uint16_t value) {
    uint8_t bytes[2];
    StoreLe16(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace

std::string PcapFileHeader(uint32_t linkType) {
    std::string out;
    out.reserve(kPcapFileHeaderSize);
    Put32(out, kPcapMagicMicroseconds);
    Put16(out, 2);  // version 2.4
    Put16(out, 4);
    Put32(out, 0);  // time zone: time stamps are UTC
    Put32(out, 0);  // accuracy of the time stamps: not given
    Put32(out, kPcapSnapLength);
    Put32(out, linkType);
    return out;
}

void AppendPcapRecord(std::string& out, int64_t microseconds, std::span<const uint8_t> captured,
                      uint32_t originalLength) {
    const int64_t since = std::max<int64_t>(microseconds, 0);
    const auto kept = static_cast<uint32_t>(std::min<size_t>(captured.size(), kPcapSnapLength));
    // Seconds as the format's unsigned 32-bit count: good until 2106.
    Put32(out, static_cast<uint32_t>(since / 1000000));
    Put32(out, static_cast<uint32_t>(since % 1000000));
    Put32(out, kept);
    Put32(out, std::max(originalLength, kept));
    out.append(reinterpret_cast<const char*>(captured.data()), kept);
}

bool PcapWriter::Open(const std::string& path, uint32_t linkType, std::string& error) {
    Close();
    if (!file_.Create(path, error)) {
        return false;
    }
    path_ = path;
    buffer_ = PcapFileHeader(linkType);
    if (!Flush(error)) {
        Close();
        return false;
    }
    return true;
}

void PcapWriter::Add(int64_t microseconds, std::span<const uint8_t> captured,
                     uint32_t originalLength) {
    AppendPcapRecord(buffer_, microseconds, captured, originalLength);
}

bool PcapWriter::Flush(std::string& error) {
    if (!file_.IsOpen()) {
        error = path_ + ": not open";
        return false;
    }
    if (buffer_.empty()) {
        return true;
    }
    if (!file_.Write(buffer_, error)) {
        buffer_.clear();
        std::string ignored;
        file_.Truncate(written_, ignored);
        return false;
    }
    written_ += buffer_.size();
    buffer_.clear();
    return true;
}

void PcapWriter::Close() {
    file_.Close();
    buffer_.clear();
    written_ = 0;
}

}  // namespace tarvu
