#include "record/pcap_writer.h"

#include "tests/support/capture_reader.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

// The file header as tcpdump writes it on a little-endian machine for LINKTYPE_IPV4.
TEST(PcapWriterTest, FileHeaderBytes) {
    const std::string header = PcapFileHeader(kLinkTypeIpv4);
    const std::vector<uint8_t> expected = {0xD4, 0xC3, 0xB2, 0xA1, 0x02, 0x00, 0x04, 0x00,
                                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xFF, 0xFF, 0x00, 0x00, 0xE4, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(header.begin(), header.end()), expected);
}

// A packet longer than what was kept, one beyond the snapshot length, and a time before the
// epoch, read back by the reader.
TEST(PcapWriterTest, RecordsKeepTheirOriginalLengthAndStayWithinTheSnapshotLength) {
    TempDirectory dir;
    const std::filesystem::path file = dir / "w.pcap";
    PcapWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(file.string(), kLinkTypeIpv4, error)) << error;
    const std::vector<uint8_t> cut(528, 0x45);
    writer.Add(1'000'000'999'999, cut, 1028);
    const std::vector<uint8_t> huge(70000, 0x45);
    writer.Add(2'000'000, huge, 70000);
    writer.Add(-5, cut, 0);
    ASSERT_TRUE(writer.Flush(error)) << error;
    writer.Close();

    const CaptureContents in = ReadCaptureFile(file);
    ASSERT_TRUE(in.ok) << in.error;
    ASSERT_EQ(in.packets.size(), 3u);
    EXPECT_EQ(in.packets[0].seconds, 1'000'000);
    EXPECT_EQ(in.packets[0].microseconds, 999'999);
    EXPECT_EQ(in.packets[0].bytes.size(), 528u);
    EXPECT_EQ(in.packets[0].originalLength, 1028u);
    EXPECT_EQ(in.packets[1].bytes.size(), 65535u);
    EXPECT_EQ(in.packets[1].originalLength, 70000u);
    EXPECT_EQ(in.packets[2].seconds, 0);
    EXPECT_EQ(in.packets[2].microseconds, 0);
    // Never fewer bytes on the wire than kept.
    EXPECT_EQ(in.packets[2].originalLength, 528u);
}

}  // namespace
}  // namespace tarvu
