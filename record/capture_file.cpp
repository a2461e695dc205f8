#include "record/capture_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <pcap/pcap.h>
#include <sys/stat.h>

namespace tarvu {
namespace {

constexpr size_t kIpHeaderSize = 20;
constexpr size_t kUdpHeaderSize = 8;
constexpr size_t kMaxPayload = 65535 - kIpHeaderSize - kUdpHeaderSize;
constexpr int kSnapLength = 65535;

void Put16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

// Addresses are kept in network byte order, so their bytes go out in memory order.
void PutAddress(uint8_t* out, uint32_t address) {
    std::memcpy(out, &address, 4);
}

uint16_t HeaderChecksum(const uint8_t* header, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2) {
        sum += static_cast<uint32_t>(header[i] << 8 | header[i + 1]);
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum);
}

}  // namespace

std::vector<uint8_t> BuildIpv4Udp(const UdpEndpoints& endpoints, std::span<const uint8_t> payload) {
    const size_t n = std::min(payload.size(), kMaxPayload);
    std::vector<uint8_t> packet(kIpHeaderSize + kUdpHeaderSize + n);
    uint8_t* ip = packet.data();
    ip[0] = 0x45;  // version 4, 5 words of header
    Put16(ip + 2, static_cast<uint16_t>(packet.size()));
    ip[6] = 0x40;  // don't fragment
    ip[8] = 64;    // time to live
    ip[9] = 17;    // UDP
    PutAddress(ip + 12, endpoints.sourceAddress);
    PutAddress(ip + 16, endpoints.destinationAddress);
    Put16(ip + 10, HeaderChecksum(ip, kIpHeaderSize));
    uint8_t* udp = ip + kIpHeaderSize;
    Put16(udp, endpoints.sourcePort);
    Put16(udp + 2, endpoints.destinationPort);
    Put16(udp + 4, static_cast<uint16_t>(kUdpHeaderSize + n));
    if (n != 0) {
        std::memcpy(udp + kUdpHeaderSize, payload.data(), n);
    }
    return packet;
}

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
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = path + ": " + std::strerror(EISDIR);
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
                        std::span<const uint8_t> payload, std::string& error, bool flush) {
    if (handles_ == nullptr) {
        error = path_ + ": not open";
        return false;
    }
    const std::vector<uint8_t> packet = BuildIpv4Udp(endpoints, payload);
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(microseconds / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(microseconds % 1000000);
    header.caplen = static_cast<bpf_u_int32>(packet.size());
    header.len = header.caplen;
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
