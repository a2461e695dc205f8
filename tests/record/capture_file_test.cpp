#include "record/capture_file.h"

#include "tests/support/file_size_limit.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <pcap/pcap.h>

namespace tarvu {
namespace {

uint32_t Ip(const char* text) {
    in_addr address{};
    inet_pton(AF_INET, text, &address);
    return address.s_addr;
}

TEST(CaptureFileTest, Ipv4UdpHeadersCarryAddressesPortsLengthsAndAValidChecksum) {
    const std::vector<uint8_t> payload = {0x11, 0x01, 0x00, 0x30, 0x00};
    const auto packet = BuildIpv4Udp({Ip("10.0.0.1"), 10002, Ip("0.0.0.0"), 10001}, payload);
    ASSERT_EQ(packet.size(), 20u + 8u + payload.size());
    EXPECT_EQ(packet[0], 0x45);
    EXPECT_EQ(packet[2] << 8 | packet[3], 33);  // total length
    EXPECT_EQ(packet[9], 17);                   // UDP
    EXPECT_EQ(std::vector<uint8_t>(packet.begin() + 12, packet.begin() + 20),
              (std::vector<uint8_t>{10, 0, 0, 1, 0, 0, 0, 0}));
    // The one's-complement sum over a header with its checksum is all ones.
    uint32_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) {
        sum += static_cast<uint32_t>(packet[i] << 8 | packet[i + 1]);
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    EXPECT_EQ(sum, 0xFFFFu);
    EXPECT_EQ(packet[20] << 8 | packet[21], 10002);
    EXPECT_EQ(packet[22] << 8 | packet[23], 10001);
    EXPECT_EQ(packet[24] << 8 | packet[25], 13);  // UDP length
    EXPECT_EQ(std::vector<uint8_t>(packet.begin() + 28, packet.end()), payload);
}

// Every header word counts, the destination's last one too (zero for 0.0.0.0, this side).
TEST(CaptureFileTest, HeaderChecksumCoversBothAddressesWhole) {
    const std::vector<uint8_t> payload = {0x41};
    for (const auto& [from, to] :
         {std::pair{"192.168.1.10", "10.0.0.254"}, std::pair{"10.0.0.254", "192.168.1.10"}}) {
        const auto packet = BuildIpv4Udp({Ip(from), 10002, Ip(to), 10001}, payload);
        ASSERT_EQ(packet.size(), 29u);
        // 4500 001D 0000 4000 4011 C0A8 010A 0A00 00FE: sum 191DE, folded 91DF.
        EXPECT_EQ(packet[10] << 8 | packet[11], 0x6E20) << from << " to " << to;
    }
}

TEST(CaptureFileTest, OversizedPayloadIsCutToWhatIpv4Carries) {
    const std::vector<uint8_t> payload(70000, 0xAB);
    const auto packet = BuildIpv4Udp({}, payload);
    EXPECT_EQ(packet.size(), 65535u);
    EXPECT_EQ(packet[2] << 8 | packet[3], 65535);
}

TEST(CaptureFileTest, LibpcapReadsBackRawIpv4WithMicrosecondTimes) {
    TempDirectory dir;
    const std::string path = (dir / "session.pcap").string();
    CaptureFile capture;
    std::string error;
    ASSERT_TRUE(capture.Open(path, error)) << error;
    const std::vector<uint8_t> frame = {0x7E, 0x7D, 0x51, 0x7F};
    ASSERT_TRUE(
        capture.Write(1'700'000'000'123'456, {Ip("127.0.0.1"), 4000, 0, 10001}, frame, error));
    ASSERT_TRUE(capture.Write(1'700'000'001'000'001, {0, 10001, Ip("127.0.0.1"), 4000}, {}, error));
    capture.Close();

    char errbuf[PCAP_ERRBUF_SIZE];
    pcap_t* in =
        pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_MICRO, errbuf);
    ASSERT_NE(in, nullptr) << errbuf;
    EXPECT_EQ(pcap_datalink(in), DLT_IPV4);
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    ASSERT_EQ(pcap_next_ex(in, &header, &data), 1);
    EXPECT_EQ(header->ts.tv_sec, 1'700'000'000);
    EXPECT_EQ(header->ts.tv_usec, 123'456);
    ASSERT_EQ(header->caplen, 28u + frame.size());
    EXPECT_EQ(std::vector<uint8_t>(data + 28, data + header->caplen), frame);
    EXPECT_EQ(data[20] << 8 | data[21], 4000);
    ASSERT_EQ(pcap_next_ex(in, &header, &data), 1);
    EXPECT_EQ(header->ts.tv_usec, 1);
    EXPECT_EQ(header->caplen, 28u);
    EXPECT_EQ(pcap_next_ex(in, &header, &data), PCAP_ERROR_BREAK);
    pcap_close(in);
}

// Without the flush a datagram may wait in the writer's buffer; with it, it is in the file,
// or the write says why not.
TEST(CaptureFileTest, FlushFlagHandsTheDatagramToTheFileOrReportsTheFailure) {
    TempDirectory dir;
    const std::filesystem::path path = dir / "flush.pcap";
    CaptureFile capture;
    std::string error;
    ASSERT_TRUE(capture.Open(path.string(), error)) << error;
    const uint64_t header = std::filesystem::file_size(path);
    const std::vector<uint8_t> payload(100, 0x41);
    const uint64_t record = 16 + 28 + payload.size();
    ASSERT_TRUE(capture.Write(1, {}, payload, error, false)) << error;
    EXPECT_EQ(std::filesystem::file_size(path), header);
    ASSERT_TRUE(capture.Flush(error)) << error;
    EXPECT_EQ(std::filesystem::file_size(path), header + record);
    ASSERT_TRUE(capture.Write(2, {}, payload, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(path), header + 2 * record);

    // A disk that fills: the flushing write fails with the reason.
    const FileSizeLimit limit(header + 2 * record + 10);
    ASSERT_TRUE(limit.Active());
    EXPECT_FALSE(capture.Write(3, {}, payload, error));
    EXPECT_NE(error.find("flush.pcap: File too large"), std::string::npos) << error;
}

TEST(CaptureFileTest, UnwritablePathsAreClearErrors) {
    TempDirectory dir;
    CaptureFile capture;
    std::string error;
    EXPECT_FALSE(capture.Open((dir / "missing" / "x.pcap").string(), error));
    EXPECT_NE(error.find("x.pcap"), std::string::npos) << error;
    EXPECT_FALSE(capture.Open(dir.Path().string(), error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    // The file header cannot be written to a full device.
    EXPECT_FALSE(capture.Open("/dev/full", error));
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_FALSE(capture.IsOpen());
}

}  // namespace
}  // namespace tarvu
