// The capture file against what only POSIX systems offer here: named pipes, devices and a
// small tmpfs that fills up.
#include "record/capture_file.h"
#include "tests/support/capture_reader.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvu {
namespace {

// A named pipe without a reader would hold the opening for good; devices and terminals would
// take binary data meant for a file. All are refused at once.
TEST(CaptureFileTest, SpecialFilesAreRefusedWithoutWaiting) {
    TempDirectory dir;
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto opened = std::async(std::launch::async, [&fifo] {
        CaptureFile capture;
        std::string error;
        return capture.Open(fifo, error) ? std::string("opened") : error;
    });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Let the stuck open go on, so that the test ends.
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        opened.wait();
        ::close(reader);
        FAIL() << "opening a named pipe waited for a reader";
    }
    EXPECT_EQ(opened.get(), fifo + ": not a regular file");

    for (const char* device : {"/dev/null", "/dev/full", "/dev/tty"}) {
        CaptureFile capture;
        std::string error;
        if (::access(device, W_OK) != 0) {
            continue;  // no controlling terminal
        }
        EXPECT_FALSE(capture.Open(device, error)) << device;
        EXPECT_EQ(error, std::string(device) + ": not a regular file");
    }
}

// A disk that fills up while packets are written: the error is reported and the file ends
// with its last whole packet, which every reader takes without complaint.
TEST(CaptureFileTest, FullDiskLeavesWholePackets) {
    TempDirectory dir;
    const std::filesystem::path small = dir / "small";
    std::filesystem::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=16k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    CaptureFile capture;
    std::string error;
    ASSERT_TRUE(capture.Open((small / "s.pcap").string(), error)) << error;
    const std::vector<uint8_t> payload(300, 0x11);
    int written = 0;
    for (; written < 200; ++written) {
        if (!capture.Write(written, {}, payload, error)) {
            break;
        }
    }
    capture.Close();
    EXPECT_LT(written, 200);
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    const CaptureContents in = ReadCaptureFile(small / "s.pcap");
    ::umount(small.c_str());
    EXPECT_TRUE(in.ok) << in.error;
    EXPECT_EQ(in.packets.size(), static_cast<size_t>(written));
}

}  // namespace
}  // namespace tarvu
