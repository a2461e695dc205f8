#include "record/log_file.h"

#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvu {
namespace {

TEST(LogFileTest, AppendsToWhatIsThereAndWritesAtOnce) {
    TempDirectory dir;
    const std::string path = (dir / "session.log").string();
    WriteBytes(path, "earlier session\n");
    LogFile log;
    std::string error;
    ASSERT_TRUE(log.Open(path, error)) << error;
    ASSERT_TRUE(log.Write("# header\n", error)) << error;
    // Visible to a reader before the file is closed: nothing waits in a buffer.
    EXPECT_EQ(ReadBytes(path), "earlier session\n# header\n");
    ASSERT_TRUE(log.Write("Привет 7E\n", error));
    log.Close();
    EXPECT_EQ(ReadBytes(path), "earlier session\n# header\nПривет 7E\n");
}

TEST(LogFileTest, RefusesPathsItCannotWriteWithTheReason) {
    TempDirectory dir;
    LogFile log;
    std::string error;
    EXPECT_FALSE(log.Open((dir / "missing" / "x.log").string(), error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(log.Open(dir.Path().string(), error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    EXPECT_FALSE(log.IsOpen());

    // A FIFO without a reader is refused at once instead of stalling the writer.
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
