#include "platform/app_paths.h"
#include "platform/installed_program.h"
#include "tarvu_build_info.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <windows.h>

namespace tarvu {
namespace {

namespace fs = std::filesystem;

// A stand-in "Program Files" folder named by the environment, as Windows names the real one.
class ProgramFolders : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("tarvu-install-" + std::to_string(::GetCurrentProcessId()));
        fs::create_directories(root_ / "Program Files" / "Tarvu");
        fs::create_directories(root_ / "portable" / "bin");
        for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
            ::SetEnvironmentVariableW(name, nullptr);
        }
        ::SetEnvironmentVariableW(L"ProgramFiles", (root_ / "Program Files").c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"ProgramFiles", nullptr);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path root_;
};

TEST_F(ProgramFolders, AProgramBelowProgramFilesIsInstalled) {
    EXPECT_TRUE(IsInstalledProgram(root_ / "Program Files" / "Tarvu"));
    EXPECT_TRUE(IsInstalledProgram(root_ / "Program Files"));
    // Names are compared without case, and a trailing separator does not matter.
    EXPECT_TRUE(IsInstalledProgram(root_ / "PROGRAM FILES" / "tarvu\\"));
    // A folder whose name merely begins the same is not below it.
    fs::create_directories(root_ / "Program Files Extra");
    EXPECT_FALSE(IsInstalledProgram(root_ / "Program Files Extra"));
}

TEST_F(ProgramFolders, AnUnpackedCopyIsPortableUnlessTheMarkerLiesBesideIt) {
    const fs::path bin = root_ / "portable" / "bin";
    EXPECT_FALSE(IsInstalledProgram(bin));
    EXPECT_FALSE(IsInstalledProgram({}));
    EXPECT_FALSE(IsInstalledProgram(ExecutableDirectory()));
    const fs::path marker = (bin / TARVU_BINDIR_TO_MARKER).lexically_normal();
    fs::create_directories(marker.parent_path());
    std::ofstream(marker) << "installed\n";
    EXPECT_TRUE(IsInstalledProgram(bin));
}

}  // namespace
}  // namespace tarvu
