// tarvu-cli --settings with a file name outside ASCII: the file is created under that name.

#include "client_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tarvu {
namespace {

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TEST(SettingsPathCli, CyrillicFileNameIsKept) {
    testing::TempDirectory dir;
    const std::filesystem::path file = dir.Path() / std::filesystem::path(u8"настройки.ini");
    const testing::CliRun run = testing::RunCli(
        dir, {"--settings", Utf8(file), "--to", "127.0.0.1", "--port",
              std::to_string(testing::FreeUdpPort()), "--listen",
              std::to_string(testing::FreeUdpPort()), "--send", "01", "--wait", "0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(file)) << run.err;
    // Nothing else was created (a name read in the wrong code page would be another file).
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        const std::string name = Utf8(entry.path().filename());
        EXPECT_TRUE(name == "run.out" || name == "run.err" || name == Utf8(file.filename()))
            << name;
    }
}

}  // namespace
}  // namespace tarvu
