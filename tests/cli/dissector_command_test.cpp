// `tarvu-cli dissector`: the real binary writes the dissector it carries, wherever it runs
// from. That Wireshark finds the installed file is tests/wireshark/dissector_test.sh's part.

#include "client_test_support.h"
#include "wireshark/dissector_lua.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tarvu {
namespace {

using testing::ReadFile;
using testing::RunCli;

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TEST(DissectorCommand, CarriesTheDissectorWithTheCatalogueFilledIn) {
    const std::string lua = DissectorLua();
    EXPECT_NE(lua.find("Proto(\"tarvu\", \"Tarvu link\")"), std::string::npos);
    EXPECT_NE(lua.find("    [0xA3] = \"ca_RELOCK\",\n"), std::string::npos);
    EXPECT_EQ(lua.find("@CATALOGUE@"), std::string::npos);
}

// Into a folder that does not exist yet, two levels deep and with a Cyrillic name; a second
// install replaces an older copy; `print` gives the same bytes.
TEST(DissectorCommand, InstallWritesTheCarriedDissectorAndReplacesAnOlderCopy) {
    const TempDirectory dir;
    const std::filesystem::path folder =
        dir.Path() / std::filesystem::path(u8"плагины") / "wireshark";
    const std::filesystem::path file = folder / "tarvu.lua";

    testing::CliRun run = RunCli(dir, {"dissector", "install", "--folder", Utf8(folder)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(file), DissectorLua());
    EXPECT_NE(run.out.find("installed " + Utf8(file)), std::string::npos) << run.out;

    std::ofstream(file, std::ios::binary | std::ios::trunc) << "-- an older tarvu.lua\n";
    run = RunCli(dir, {"dissector", "install", "--folder", Utf8(folder)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(file), DissectorLua());

    run = RunCli(dir, {"dissector", "print"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, DissectorLua());
}

// A folder that cannot be made (a file stands in its way) and a tarvu.lua that is a folder:
// exit code 1, a message naming the place, nothing changed.
TEST(DissectorCommand, APlaceThatCannotBeWrittenIsAnError) {
    const TempDirectory dir;
    std::ofstream(dir / "blocker") << "a file";
    testing::CliRun run =
        RunCli(dir, {"dissector", "install", "--folder", Utf8(dir / "blocker" / "plugins")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot create the folder"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(dir / "blocker"), "a file");

    std::filesystem::create_directories(dir / "plugins" / "tarvu.lua");
    run = RunCli(dir, {"dissector", "install", "--folder", Utf8(dir / "plugins")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("is not a regular file"), std::string::npos) << run.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "plugins" / "tarvu.lua"));
}

}  // namespace
}  // namespace tarvu
