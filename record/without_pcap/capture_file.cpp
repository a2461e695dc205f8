// The capture file of a build without libpcap: every Open fails with the reason, so a session
// asked for a capture file stops before it sends anything, as with any file that cannot be
// opened.
#include "record/capture_file.h"

namespace tarvu {

struct CaptureFile::Handles {};

CaptureFile::CaptureFile() = default;

CaptureFile::~CaptureFile() = default;

bool CaptureFile::Open(const std::string& path, std::string& error) {
    Close();
    error = path + ": capture files need libpcap, which this build of tarvu-cli lacks";
    return false;
}

bool CaptureFile::IsOpen() const {
    return false;
}

bool CaptureFile::Write(int64_t, const UdpEndpoints&, std::span<const uint8_t>, std::string& error,
                        bool, size_t) {
    error = path_ + ": not open";
    return false;
}

bool CaptureFile::Flush(std::string& error) {
    error = path_ + ": not open";
    return false;
}

void CaptureFile::Close() {
    handles_.reset();
}

}  // namespace tarvu
