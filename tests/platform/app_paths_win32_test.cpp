#include "platform/app_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tarvu {
namespace {

TEST(AppPaths, ConfigHomeIsTheRoamingApplicationData) {
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    ASSERT_NE(appData, nullptr);
    EXPECT_EQ(UserConfigHome(), std::filesystem::path(appData));
}

TEST(AppPaths, FindsTheExecutableAndWritableDirectories) {
    EXPECT_TRUE(std::filesystem::exists(ExecutableDirectory() / "tarvu_platform_tests.exe"));
    EXPECT_TRUE(IsDirectoryWritable(std::filesystem::temp_directory_path()));
    EXPECT_FALSE(IsDirectoryWritable("C:\\nonexistent-tarvu-directory"));
    // A directory that is a file is no directory to write in.
    EXPECT_FALSE(IsDirectoryWritable(ExecutableDirectory() / "tarvu_platform_tests.exe"));
}

}  // namespace
}  // namespace tarvu
