// The classic pcap format read by hand, for builds without libpcap: little- or big-endian by
// the magic, microsecond time stamps only (the only kind our writer makes).
#include "tests/support/capture_reader.h"

#include <fstream>
#include <iterator>

namespace tarvu {
namespace {

uint32_t Load32(const uint8_t* p, bool bigEndian) {
    return bigEndian ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                     : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
}

uint16_t Load16(const uint8_t* p, bool bigEndian) {
    return static_cast<uint16_t>(bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
}

}  // namespace

CaptureContents ReadCaptureFile(const std::filesystem::path& path) {
    CaptureContents contents;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        contents.error = "cannot open " + path.string();
        return contents;
    }
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (file.size() < 24) {
        contents.error = "no file header";
        return contents;
    }
    bool big = false;
    if (Load32(file.data(), false) != 0xA1B2C3D4) {
        big = true;
        if (Load32(file.data(), true) != 0xA1B2C3D4) {
            contents.error = "not a microsecond pcap file";
            return contents;
        }
    }
    const uint32_t snapLength = Load32(file.data() + 16, big);
    contents.linkType = static_cast<int>(Load32(file.data() + 20, big));
    if (Load16(file.data() + 4, big) != 2 || Load16(file.data() + 6, big) != 4) {
        contents.error = "not version 2.4";
        return contents;
    }
    size_t at = 24;
    while (at < file.size()) {
        if (file.size() - at < 16) {
            contents.error = "a record header cut short";
            return contents;
        }
        CapturedPacket packet;
        packet.seconds = Load32(file.data() + at, big);
        packet.microseconds = Load32(file.data() + at + 4, big);
        const uint32_t kept = Load32(file.data() + at + 8, big);
        packet.originalLength = Load32(file.data() + at + 12, big);
        at += 16;
        if (kept > snapLength || packet.microseconds >= 1000000 || kept > packet.originalLength) {
            contents.error = "a record header out of bounds";
            return contents;
        }
        if (file.size() - at < kept) {
            contents.error = "a record cut short";
            return contents;
        }
        packet.bytes.assign(file.begin() + static_cast<std::ptrdiff_t>(at),
                            file.begin() + static_cast<std::ptrdiff_t>(at + kept));
        at += kept;
        contents.packets.push_back(std::move(packet));
    }
    contents.ok = true;
    return contents;
}

}  // namespace tarvu
