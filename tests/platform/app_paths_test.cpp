#include "platform/app_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace tarvu {
namespace {

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(AppPaths, ConfigHomeFollowsXdgThenHome) {
    const ScopedEnv home("HOME", "/home/tester");
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(UserConfigHome(), "/srv/config");
    }
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "relative/config");  // not absolute: ignored
        EXPECT_EQ(UserConfigHome(), "/home/tester/.config");
    }
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "");
        EXPECT_EQ(UserConfigHome(), "/home/tester/.config");
    }
}

TEST(AppPaths, FindsTheExecutableAndWritableDirectories) {
    EXPECT_TRUE(std::filesystem::exists(ExecutableDirectory() / "tarvu_platform_tests"));
    EXPECT_TRUE(IsDirectoryWritable(std::filesystem::temp_directory_path()));
    EXPECT_FALSE(IsDirectoryWritable("/proc"));
    EXPECT_FALSE(IsDirectoryWritable("/nonexistent-tarvu-directory"));
    EXPECT_FALSE(IsDirectoryWritable(""));
}

}  // namespace
}  // namespace tarvu
