#include "platform/app_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

}  // namespace
}  // namespace tarvu
