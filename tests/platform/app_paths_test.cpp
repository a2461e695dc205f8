#include "platform/app_paths.h"

#include "tests/support/child_process_runner.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace tarvu {
namespace {

TEST(AppPaths, ConfigHomeFollowsAbsoluteXdgThenHome) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    ::setenv("XDG_CONFIG_HOME", "/srv/config", 1);
    EXPECT_EQ(UserConfigHome(), "/srv/config");
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(UserConfigHome(), std::filesystem::path(std::getenv("HOME")) / ".config");
    if (oldXdg != nullptr) {
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(AppPaths, FindsTheExecutableAndWritableDirectories) {
    EXPECT_TRUE(std::filesystem::exists(ExecutableDirectory() / "tarvu_platform_tests"));
    EXPECT_TRUE(IsDirectoryWritable(std::filesystem::temp_directory_path()));
    EXPECT_FALSE(IsDirectoryWritable("/proc"));  // even for the superuser
    EXPECT_FALSE(IsDirectoryWritable("/nonexistent-tarvu-directory"));
}

TEST(AppPaths, FileIsWritableOnlyWhenTheUserMayWriteIt) {
    namespace fs = std::filesystem;
    TempDirectory dir;
    const fs::path folder = dir / "program";
    fs::create_directory(folder);
    const fs::path shared = folder / "shared.ini";
    const fs::path own = folder / "own.ini";
    const fs::path readOnly = folder / "read-only.ini";
    const fs::path fifo = folder / "fifo.ini";
    for (const fs::path& file : {shared, own, readOnly}) {
        WriteBytes(file, "[UDP]\r\n");
    }
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const auto readable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(shared, readable | fs::perms::owner_write | fs::perms::group_write |
                                fs::perms::others_write);
    fs::permissions(own, readable | fs::perms::owner_write);
    fs::permissions(readOnly, readable);
    const auto traversable =
        readable | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    fs::permissions(dir.Path(), traversable | fs::perms::owner_write);
    fs::permissions(folder, traversable);

    // A file with no write permission is read-only for everyone, the superuser included.
    EXPECT_FALSE(IsFileWritable(readOnly));
    EXPECT_FALSE(IsFileWritable(fifo));
    EXPECT_FALSE(IsFileWritable(folder));
    EXPECT_FALSE(IsFileWritable(folder / "missing.ini"));
    EXPECT_FALSE(IsFileWritable("/proc/version"));

    const ChildOutcome outcome = RunInChild(
        [&] {
            if (!IsFileWritable(shared)) {
                return 1;
            }
            // Another user's file with only its owner's write permission.
            struct stat st {};
            if (::stat(own.c_str(), &st) != 0 ||
                (st.st_uid != ::geteuid() && IsFileWritable(own))) {
                return 3;
            }
            if (IsDirectoryWritable(folder)) {
                return 2;
            }
            return 0;
        },
        /*unprivileged=*/true);
    fs::permissions(folder, fs::perms::owner_all);
    if (!outcome.ran) {
        GTEST_SKIP() << outcome.why;
    }
    EXPECT_EQ(outcome.exitStatus, 0);
}

}  // namespace
}  // namespace tarvu
