#include "record/log_file.h"

#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace tarvu {
namespace {

// The system's reason for a missing folder on the way and for a folder given as the file.
#ifdef _WIN32
constexpr const char* kMissingFolder = "(3)";  // ERROR_PATH_NOT_FOUND
constexpr const char* kIsAFolder = "(5)";      // ERROR_ACCESS_DENIED
#else
constexpr const char* kMissingFolder = "No such file or directory";
constexpr const char* kIsAFolder = "Is a directory";
#endif

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
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.Write("late\n", error));
}

TEST(LogFileTest, RefusesPathsItCannotWriteWithTheReason) {
    TempDirectory dir;
    LogFile log;
    std::string error;
    const std::string missing = (dir / "missing" / "x.log").string();
    EXPECT_FALSE(log.Open(missing, error));
    EXPECT_EQ(error.rfind(missing + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(kMissingFolder), std::string::npos) << error;
    EXPECT_FALSE(log.Open(dir.Path().string(), error));
    EXPECT_NE(error.find(kIsAFolder), std::string::npos) << error;
    EXPECT_FALSE(log.IsOpen());
}

// A session that ran out of disk (or died) mid-line left a torn last line; the next session's
// first line must not be glued to it.
TEST(LogFileTest, AppendAfterATornLineStartsOnAFreshLine) {
    TempDirectory dir;
    const std::string path = (dir / "torn.log").string();
    for (const auto& [before, after] : std::vector<std::pair<std::string, std::string>>{
             {"12:00:01.000 127.0", "12:00:01.000 127.0\n# h\nl\n"},
             {"whole\n", "whole\n# h\nl\n"},
             {"", "# h\nl\n"}}) {
        WriteBytes(path, before);
        LogFile log;
        std::string error;
        ASSERT_TRUE(log.Open(path, error)) << error;
        ASSERT_TRUE(log.Write("# h\n", error)) << error;
        ASSERT_TRUE(log.Write("l\n", error)) << error;
        log.Close();
        EXPECT_EQ(ReadBytes(path), after);
    }
}

}  // namespace
}  // namespace tarvu
