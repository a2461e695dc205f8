// tarvu.exe answers --version and --help on its standard output and refuses a wrong option
// on its standard error with status 2, without opening a window.

#include "platform/child_process.h"
#include "tarvu_build_info.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace tarvu::testing {
namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ProgramRun RunProgram(const TempDirectory& dir, const std::vector<std::string>& arguments) {
    ChildProcess child;
    ProgramRun run;
    if (!child.Start(TARVU_WIN32_GUI_PATH, arguments, dir / "out", dir / "err")) {
        ADD_FAILURE() << "cannot start " << TARVU_WIN32_GUI_PATH;
        return run;
    }
    run.status = child.Wait(20000).value_or(-1);
    run.out = ReadWhole(dir / "out");
    run.err = ReadWhole(dir / "err");
    return run;
}

TEST(Win32ProgramOutput, VersionHelpAndAWrongOption) {
    TempDirectory dir;
    const ProgramRun version = RunProgram(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out,
              "tarvu " TARVU_VERSION "\n" TARVU_COPYRIGHT_LINE "\n" TARVU_LICENSE_LINE "\n");

    const ProgramRun help = RunProgram(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: tarvu [options]"), std::string::npos) << help.out;

    const ProgramRun wrong = RunProgram(dir, {"--frobnicate"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.err.rfind("Unknown option 'frobnicate'.", 0), 0u) << wrong.err;
    EXPECT_TRUE(wrong.out.empty());
}

}  // namespace
}  // namespace tarvu::testing
