// Where an installed copy keeps its settings.

#include "app/settings.h"
#include "app/settings_keys.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

namespace fs = std::filesystem;

SettingsLocation InstalledIn(const fs::path& folder) {
    SettingsLocation location;
    location.executableDirectory = folder;
    location.configHome = "/home/u/.config";
    location.installed = true;
    return location;
}

TEST(SettingsLocation, AnInstalledCopyNeverKeepsItsFileBesideTheProgram) {
    // The superuser can write to /usr/bin; the file goes to the configuration folder all the same.
    SettingsLocation location = InstalledIn("/usr/bin");
    location.executableDirectoryWritable = true;
    EXPECT_EQ(ChooseSettingsFile(location), "/home/u/.config/tarvu/settings.ini");
    location.executableDirectoryWritable = false;
    EXPECT_EQ(ChooseSettingsFile(location), "/home/u/.config/tarvu/settings.ini");

    // Without a home there is no file at all rather than one in /usr/bin.
    location.configHome.clear();
    EXPECT_EQ(ChooseSettingsFile(location), fs::path());

    // --settings still chooses any file.
    location.explicitFile = "/tmp/my.ini";
    EXPECT_EQ(ChooseSettingsFile(location), "/tmp/my.ini");
}

TEST(SettingsLocation, WithoutAFileNothingIsReadOrWritten) {
    const bool hadLocalFile = fs::exists("settings.ini");
    const Settings settings(fs::path{});
    EXPECT_EQ(settings.Read(kSectionUdp, kKeyReadPort), "");
    EXPECT_FALSE(settings.Write(kSectionUdp, kKeyReadPort, "10001"));
    EXPECT_EQ(settings.ReadWithDefault(kSectionUdp, kKeyReadPort, "10001"), "10001");
    EXPECT_EQ(fs::exists("settings.ini"), hadLocalFile);
}

}  // namespace
}  // namespace tarvu
