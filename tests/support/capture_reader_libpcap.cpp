#include "tests/support/capture_reader.h"

#include <pcap/pcap.h>

namespace tarvu {

CaptureContents ReadCaptureFile(const std::filesystem::path& path) {
    CaptureContents contents;
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* in =
        pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_MICRO, errbuf);
    if (in == nullptr) {
        contents.error = errbuf;
        return contents;
    }
    contents.linkType = pcap_datalink(in);
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int status = 0;
    while ((status = pcap_next_ex(in, &header, &data)) == 1) {
        contents.packets.push_back({header->ts.tv_sec, header->ts.tv_usec, header->len,
                                    std::vector<uint8_t>(data, data + header->caplen)});
    }
    // The end of the file; anything else (a record cut short) is an error.
    contents.ok = status == PCAP_ERROR_BREAK;
    if (!contents.ok) {
        contents.error = pcap_geterr(in);
    }
    pcap_close(in);
    return contents;
}

}  // namespace tarvu
