#include "record/capture_file.h"

#include "tests/support/capture_reader.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tarvu {
namespace {

// A device that takes any write: no capture file.
#ifdef _WIN32
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t octets[4] = {a, b, c, d};
    uint32_t address = 0;
    std::memcpy(&address, octets, 4);
    return address;
}

TEST(CaptureFileTest, Ipv4UdpHeadersCarryAddressesPortsLengthsAndAValidChecksum) {
    const std::vector<uint8_t> payload = {0x11, 0x01, 0x00, 0x30, 0x00};
    const auto packet = BuildIpv4Udp({Ip(10, 0, 0, 1), 10002, Ip(0, 0, 0, 0), 10001}, payload);
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

TEST(CaptureFileTest, OversizedPayloadIsCutToWhatIpv4Carries) {
    const std::vector<uint8_t> payload(70000, 0xAB);
    const auto packet = BuildIpv4Udp({}, payload);
    EXPECT_EQ(packet.size(), 65535u);
    EXPECT_EQ(packet[2] << 8 | packet[3], 65535);
}

// Read back by libpcap on Linux; the same checks on Windows. The name is Cyrillic, as a
// Windows user's folders often are: it must reach the system as it was given.
TEST(CaptureFileTest, ReadsBackAsRawIpv4WithMicrosecondTimes) {
    TempDirectory dir;
    const std::filesystem::path file = dir.Path() / std::filesystem::path(u8"захват.pcap");
    const std::u8string name = file.u8string();
    CaptureFile capture;
    std::string error;
    ASSERT_TRUE(capture.Open(std::string(name.begin(), name.end()), error)) << error;
    const std::vector<uint8_t> frame = {0x7E, 0x7D, 0x51, 0x7F};
    ASSERT_TRUE(
        capture.Write(1'700'000'000'123'456, {Ip(127, 0, 0, 1), 4000, 0, 10001}, frame, error));
    ASSERT_TRUE(
        capture.Write(1'700'000'001'000'001, {0, 10001, Ip(127, 0, 0, 1), 4000}, {}, error));
    capture.Close();

    const CaptureContents in = ReadCaptureFile(file);
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_EQ(in.linkType, 228);  // LINKTYPE_IPV4
    ASSERT_EQ(in.packets.size(), 2u);
    EXPECT_EQ(in.packets[0].seconds, 1'700'000'000);
    EXPECT_EQ(in.packets[0].microseconds, 123'456);
    ASSERT_EQ(in.packets[0].bytes.size(), 28u + frame.size());
    EXPECT_EQ(in.packets[0].originalLength, 28u + frame.size());
    EXPECT_EQ(in.packets[0].Payload(), frame);
    EXPECT_EQ(in.packets[0].SourcePort(), 4000);
    EXPECT_EQ(in.packets[1].microseconds, 1);
    EXPECT_EQ(in.packets[1].bytes.size(), 28u);
}

TEST(CaptureFileTest, UnwritablePathsAreClearErrors) {
    TempDirectory dir;
    CaptureFile capture;
    std::string error;
    EXPECT_FALSE(capture.Open((dir / "missing" / "x.pcap").string(), error));
    EXPECT_NE(error.find("x.pcap"), std::string::npos) << error;
    EXPECT_FALSE(capture.Open(dir.Path().string(), error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    EXPECT_FALSE(capture.Open(kNullDevice, error));
    EXPECT_EQ(error, std::string(kNullDevice) + ": not a regular file");
    EXPECT_FALSE(capture.IsOpen());
}

// "-" would be standard output to other tools; here that carries the trace. No file called
// "-" appears either.
TEST(CaptureFileTest, DashIsRefusedAsAName) {
    TempDirectory dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    CaptureFile capture;
    std::string error;
    EXPECT_FALSE(capture.Open("-", error));
    std::filesystem::current_path(before);
    EXPECT_NE(error.find("./-"), std::string::npos) << error;
    EXPECT_TRUE(dir.Entries().empty());
}

}  // namespace
}  // namespace tarvu
