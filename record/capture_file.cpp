#include "record/capture_file.h"

#include "record/folder_path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <pcap/pcap.h>

namespace tarvu {
namespace {

constexpr int kSnapLength = 65535;

}  // namespace

struct CaptureFile::Handles {
    pcap_t* dead = nullptr;
    pcap_dumper_t* dumper = nullptr;

    ~Handles() {
        if (dumper != nullptr) {
            pcap_dump_close(dumper);
        }
        if (dead != nullptr) {
            pcap_close(dead);
        }
    }
};

CaptureFile::CaptureFile() = default;

CaptureFile::~CaptureFile() {
    Close();
}

bool CaptureFile::Open(const std::string& path, std::string& error) {
    Close();
    if (IsFolderPath(path, error)) {
        return false;
    }
    auto handles = std::make_unique<Handles>();
    handles->dead =
        pcap_open_dead_with_tstamp_precision(DLT_IPV4, kSnapLength, PCAP_TSTAMP_PRECISION_MICRO);
    if (handles->dead == nullptr) {
        error = path + ": libpcap cannot create a capture handle";
        return false;
    }
    handles->dumper = pcap_dump_open(handles->dead, path.c_str());
    if (handles->dumper == nullptr) {
        error = pcap_geterr(handles->dead);
        if (error.find(path) == std::string::npos) {
            error = path + ": " + error;
        }
        return false;
    }
    // The file header sits in stdio's buffer until the first flush; a full disk shows here.
    if (pcap_dump_flush(handles->dumper) != 0) {
        error = path + ": " + std::strerror(errno != 0 ? errno : ENOSPC);
        return false;
    }
    handles_ = std::move(handles);
    path_ = path;
    return true;
}

bool CaptureFile::IsOpen() const {
    return handles_ != nullptr;
}

bool CaptureFile::Write(int64_t microseconds, const UdpEndpoints& endpoints,
                        std::span<const uint8_t> payload, std::string& error, bool flush,
                        size_t wireLength) {
    if (handles_ == nullptr) {
        error = path_ + ": not open";
        return false;
    }
    const std::vector<uint8_t> packet = BuildIpv4Udp(endpoints, payload, wireLength);
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(microseconds / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(microseconds % 1000000);
    header.caplen = static_cast<bpf_u_int32>(packet.size());
    header.len = static_cast<bpf_u_int32>(std::max(packet.size(), Ipv4UdpLength(wireLength)));
    pcap_dump(reinterpret_cast<u_char*>(handles_->dumper), &header, packet.data());
    return !flush || Flush(error);
}

bool CaptureFile::Flush(std::string& error) {
    if (handles_ == nullptr) {
        error = path_ + ": not open";
        return false;
    }
    errno = 0;
    if (pcap_dump_flush(handles_->dumper) != 0) {
        error = path_ + ": " + std::strerror(errno != 0 ? errno : ENOSPC);
        return false;
    }
    return true;
}

void CaptureFile::Close() {
    handles_.reset();
}

}  // namespace tarvu
