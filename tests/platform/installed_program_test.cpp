#include "platform/installed_program.h"

#include "platform/app_paths.h"
#include "tarvu_build_info.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tarvu {
namespace {

namespace fs = std::filesystem;

class InstallTree : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarvu-install-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "prefix" / "bin");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path Bin() const { return root_ / "prefix" / "bin"; }
    fs::path Marker() const { return (Bin() / TARVU_BINDIR_TO_MARKER).lexically_normal(); }
    void LayMarker() const {
        fs::create_directories(Marker().parent_path());
        std::ofstream(Marker()) << "installed\n";
    }

    fs::path root_;
};

TEST_F(InstallTree, AFolderOfItsOwnIsNotInstalled) {
    EXPECT_FALSE(IsInstalledProgram(Bin()));
    EXPECT_FALSE(IsInstalledProgram(root_));
    EXPECT_FALSE(IsInstalledProgram({}));
    EXPECT_FALSE(IsInstalledProgram(root_ / "missing" / "bin"));
    // The build tree these tests run from is a folder of its own too.
    EXPECT_FALSE(IsInstalledProgram(ExecutableDirectory()));
}

TEST_F(InstallTree, TheMarkerOfAnyPrefixMakesItInstalled) {
    LayMarker();
    EXPECT_TRUE(IsInstalledProgram(Bin()));
    // A link to the program folder leads to the same marker.
    fs::create_directory_symlink(Bin(), root_ / "linked-bin");
    EXPECT_TRUE(IsInstalledProgram(root_ / "linked-bin"));
    // The marker belongs to the program folder only, not to its neighbours.
    fs::create_directories(root_ / "prefix" / "libexec");
    EXPECT_FALSE(IsInstalledProgram(root_ / "prefix"));
}

TEST_F(InstallTree, AFolderInPlaceOfTheMarkerDoesNotCount) {
    fs::create_directories(Marker());
    EXPECT_FALSE(IsInstalledProgram(Bin()));
}

TEST(InstalledProgram, TheConfiguredAndTheSystemProgramFoldersAreInstalled) {
    EXPECT_TRUE(IsInstalledProgram(TARVU_INSTALL_FULL_BINDIR));
    EXPECT_TRUE(IsInstalledProgram("/usr/bin"));
    EXPECT_TRUE(IsInstalledProgram("/usr/bin/"));
    EXPECT_TRUE(IsInstalledProgram("/usr/local/bin"));
    EXPECT_TRUE(IsInstalledProgram("/bin"));
    EXPECT_FALSE(IsInstalledProgram("/usr"));
    EXPECT_FALSE(IsInstalledProgram("/usr/lib"));
}

}  // namespace
}  // namespace tarvu
