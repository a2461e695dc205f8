#include "record/capture_file.h"

#include "record/folder_path.h"

namespace tarvu {
namespace {

// What may wait in memory between two flushes.
constexpr size_t kMaxBuffered = 64 * 1024;

}  // namespace

CaptureFile::CaptureFile() = default;

CaptureFile::~CaptureFile() {
    Close();
}

bool CaptureFile::Open(const std::string& path, std::string& error) {
    Close();
    if (IsStandardStreamName(path, error) || IsFolderPath(path, error)) {
        return false;
    }
    if (!writer_.Open(path, kLinkTypeIpv4, error)) {
        return false;
    }
    path_ = path;
    return true;
}

bool CaptureFile::IsOpen() const {
    return writer_.IsOpen();
}

bool CaptureFile::Write(int64_t microseconds, const UdpEndpoints& endpoints,
                        std::span<const uint8_t> payload, std::string& error, bool flush) {
    if (!writer_.IsOpen()) {
        error = path_ + ": not open";
        return false;
    }
    const std::vector<uint8_t> packet = BuildIpv4Udp(endpoints, payload);
    writer_.Add(microseconds, packet, static_cast<uint32_t>(packet.size()));
    return (!flush && writer_.Buffered() < kMaxBuffered) || writer_.Flush(error);
}

bool CaptureFile::Flush(std::string& error) {
    return writer_.Flush(error);
}

void CaptureFile::Close() {
    writer_.Close();
}

}  // namespace tarvu
