// The log file against what only POSIX systems offer: FIFOs, /dev/full and file modes.
#include "record/log_file.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvu {
namespace {

TEST(LogFileTest, FifoWithoutAReaderIsRefusedAtOnce) {
    TempDirectory dir;
    LogFile log;
    std::string error;
    // Refused instead of stalling the writer.
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(log.Open(fifo, error));
}

TEST(LogFileTest, FullDiskIsAnErrorNotSilence) {
    LogFile log;
    std::string error;
    ASSERT_TRUE(log.Open("/dev/full", error)) << error;
    EXPECT_FALSE(log.Write("line\n", error));
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
}

TEST(LogFileTest, ReadOnlyFileRefusedForAnUnprivilegedUser) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files";
    }
    TempDirectory dir;
    const std::string path = (dir / "ro.log").string();
    WriteBytes(path, "");
    ::chmod(path.c_str(), 0444);
    LogFile log;
    std::string error;
    EXPECT_FALSE(log.Open(path, error));
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarvu
