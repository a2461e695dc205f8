// The settings file among Windows processes and device names.
#include "platform/profile_file.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>
#include <windows.h>

namespace tarvu {
namespace {

namespace fs = std::filesystem;

// Device names open as devices, not files: a read of the console or NUL must not be taken for
// an empty settings file, and a write must not go to the device.
TEST(ProfileFile, DeviceNamesAreRefusedWithoutWaiting) {
    for (const char* device : {"NUL", "CON", "COM9"}) {
        auto read = std::async(std::launch::async,
                               [device] { return ReadProfileEntry(device, "UDP", "A").status; });
        ASSERT_EQ(read.wait_for(std::chrono::seconds(3)), std::future_status::ready) << device;
        const ProfileStatus status = read.get();
        EXPECT_NE(status, ProfileStatus::kOk) << device;
        EXPECT_NE(WriteProfileEntry(device, "UDP", "A", "1"), ProfileStatus::kOk) << device;
    }
    TempDirectory dir;
    EXPECT_EQ(ReadProfileEntry(dir.Path(), "UDP", "A").status, ProfileStatus::kNotRegular);
    EXPECT_EQ(WriteProfileEntry(dir.Path(), "UDP", "A", "1"), ProfileStatus::kNotRegular);
}

// Process ids on Windows are multiples of four: 3 never names a process, so its temporary
// file is a leftover.
TEST(ProfileFile, LeftoverTemporariesOfDeadProcessesAreRemoved) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    const std::string deadName = ".settings.ini.tmp-3-7";
    const std::vector<std::string> kept = {
        ".other.ini.tmp-3-0",    // another file's
        ".settings.ini.tmp-3-",  // not a name we make
        ".settings.ini.tmp-3-1x",
        "settings.ini.tmp-3-1",
    };
    WriteBytes(dir / deadName, std::string(1 << 16, 'x'));
    for (const std::string& name : kept) {
        WriteBytes(dir / name, "y");
    }
    WriteBytes(file, "[UDP]\r\nA=1\r\n");

    ASSERT_EQ(WriteProfileEntry(file, "UDP", "A", "2"), ProfileStatus::kOk);
    EXPECT_FALSE(fs::exists(dir / deadName));
    for (const std::string& name : kept) {
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
    EXPECT_EQ(ReadBytes(file), "[UDP]\r\nA=2\r\n");
}

// A read-only file is refused and keeps its bytes, though its folder may be written.
TEST(ProfileFile, ReadOnlyFileIsRefused) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    WriteBytes(file, "[UDP]\r\nA=1\r\n");
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(WriteProfileEntry(file, "UDP", "A", "2"), ProfileStatus::kNotWritable);
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(file), "[UDP]\r\nA=1\r\n");
}

}  // namespace
}  // namespace tarvu
