#include "platform/app_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <windows.h>

namespace tarvu {
namespace {

TEST(AppPaths, ConfigHomeIsTheRoamingApplicationData) {
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    ASSERT_NE(appData, nullptr);
    EXPECT_EQ(UserConfigHome(), std::filesystem::path(appData));
}

TEST(AppPaths, WiresharkPluginsAreUnderTheRoamingApplicationData) {
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    ASSERT_NE(appData, nullptr);
    EXPECT_EQ(WiresharkUserPluginFolder(),
              std::filesystem::path(appData) / L"Wireshark" / L"plugins");
}

TEST(AppPaths, FindsTheExecutableAndWritableDirectories) {
    EXPECT_TRUE(std::filesystem::exists(ExecutableDirectory() / "tarvu_platform_tests.exe"));
    EXPECT_TRUE(IsDirectoryWritable(std::filesystem::temp_directory_path()));
    EXPECT_FALSE(IsDirectoryWritable("C:\\nonexistent-tarvu-directory"));
    // A directory that is a file is no directory to write in.
    EXPECT_FALSE(IsDirectoryWritable(ExecutableDirectory() / "tarvu_platform_tests.exe"));
}

TEST(AppPaths, OnlyAWritableRegularFileIsWritable) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("tarvu-writable-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "settings.ini";
    std::ofstream(file) << "[a]\r\n";
    EXPECT_TRUE(IsFileWritable(file));
    // Read-only, as Windows marks it: refused although the folder is writable.
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(IsFileWritable(file));
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(IsFileWritable(folder));
    EXPECT_FALSE(IsFileWritable(folder / "missing.ini"));
    EXPECT_FALSE(IsFileWritable({}));
    // A device name is never a settings file.
    EXPECT_FALSE(IsFileWritable("NUL"));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tarvu
