// A build without libpcap refuses capture files with the reason and leaves no file behind.
#include "record/capture_file.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

TEST(CaptureFileWithoutPcapTest, OpenFailsWithTheReasonAndCreatesNothing) {
    TempDirectory dir;
    const std::filesystem::path path = dir / "s.pcap";
    CaptureFile capture;
    std::string error;
    EXPECT_FALSE(capture.Open(path.string(), error));
    EXPECT_EQ(error, path.string() +
                         ": capture files need libpcap, which this build of "
                         "tarvu-cli lacks");
    EXPECT_FALSE(capture.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(path));
    const uint8_t byte = 0x41;
    EXPECT_FALSE(capture.Write(0, {}, {&byte, 1}, error));
}

}  // namespace
}  // namespace tarvu
