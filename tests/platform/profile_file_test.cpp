#include "platform/profile_file.h"

#include "platform/cp1251.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <string>
#include <thread>

namespace tarvu {
namespace {

namespace fs = std::filesystem;

TEST(ProfileFile, MissingFileReadsEmptyAndFirstWriteCreatesIt) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    EXPECT_EQ(ReadProfileString(file, "UDP", "PACKETIK"), "");
    EXPECT_FALSE(fs::exists(file));

    ASSERT_TRUE(WriteProfileString(file, "UDP", "ПОРТ IN", "10001"));
    ASSERT_TRUE(WriteProfileString(file, "Kanal №1", "K", "да"));
    EXPECT_EQ(ReadBytes(file),
              "[UDP]\r\n\xCF\xCE\xD0\xD2 IN=10001\r\n[Kanal \xB9"
              "1]\r\nK=\xE4\xE0\r\n");
    EXPECT_EQ(ReadProfileString(file, " udp ", "порт in"), "10001");
    EXPECT_EQ(ReadProfileString(file, "KANAL №1", "k"), "да");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});

    const fs::path other = dir / "other.ini";  // malformed UTF-8 is stored as '?'
    ASSERT_TRUE(WriteProfileString(other, "UDP", "K\xFF", "a\xC3(b中"));
    EXPECT_EQ(ReadBytes(other), "[UDP]\r\nK?=a?(b?\r\n");
}

TEST(ProfileFile, ReadsAreCutTo259CharactersNotBytes) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    std::string cyrillic;
    for (int i = 0; i < 300; ++i) {
        cyrillic += "Ж";
    }
    ASSERT_TRUE(WriteProfileString(file, "UDP", "LONG", cyrillic));
    const std::string read = ReadProfileString(file, "UDP", "LONG");
    EXPECT_EQ(read.size(), 259u * 2);  // two UTF-8 bytes per character
    EXPECT_EQ(read, cyrillic.substr(0, 259 * 2));
    // The stored value itself stays whole.
    EXPECT_NE(ReadBytes(file).find(std::string(300, '\xC6')), std::string::npos);

    WriteBytes(file, std::string("[UDP]\r\nNUL=ab\0cd\r\n", 19));
    EXPECT_EQ(ReadProfileString(file, "UDP", "NUL"), "ab");
}

TEST(ProfileFile, RefusedWritesChangeNothing) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    const std::string original = "[UDP]\r\nA=1\r\n";
    WriteBytes(file, original);

    EXPECT_FALSE(WriteProfileString(file, "UDP", "A", "2\r\n[UDP]\r\nB=3"));
    EXPECT_FALSE(WriteProfileString(file, "UDP", "A=B", "2"));
    EXPECT_FALSE(WriteProfileString(file, "", "A", "2"));
    EXPECT_FALSE(WriteProfileString(file, "UDP", std::string("A\0", 2), "2"));
    EXPECT_FALSE(WriteProfileString(dir / "missing" / "settings.ini", "UDP", "A", "2"));
    EXPECT_FALSE(WriteProfileString("/proc/tarvu-settings.ini", "UDP", "A", "2"));
    EXPECT_FALSE(WriteProfileString(dir.Path(), "UDP", "A", "2"));  // a directory, not a file

    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(WriteProfileString(file, "UDP", "A", "2"));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);

    EXPECT_EQ(ReadBytes(file), original);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});
}

TEST(ProfileFile, KeepsPermissionsAndFollowsSymbolicLinks) {
    TempDirectory dir;
    const fs::path target = dir / "real.ini";
    WriteBytes(target, "[UDP]\nA=1\n");
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(target, mode);
    const fs::path link = dir / "settings.ini";
    fs::create_symlink("real.ini", link);

    ASSERT_TRUE(WriteProfileString(link, "UDP", "A", "2"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(target), "[UDP]\nA=2\n");
    EXPECT_EQ(fs::status(target).permissions(), mode);
}

// Random bytes, NUL bytes, a 1 MB line and lines without '=': reads must not fail and a
// write must keep every byte that was there.
TEST(ProfileFile, HostileFilesKeepTheirBytes) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    std::mt19937 random(1251);
    std::vector<std::string> samples;
    for (int i = 0; i < 20; ++i) {
        std::string bytes(random() % 2000, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        samples.push_back(bytes);
    }
    samples.push_back(std::string(1 << 20, 'x') + "=y\r\n[UDP]\r\nno equals\r\n" +
                      std::string(1 << 20, '\0'));
    samples.push_back("[UDP\r\n]\r\n[[]]\r\n=\r\n==\r\n[");

    for (const std::string& original : samples) {
        WriteBytes(file, original);
        EXPECT_EQ(ReadProfileString(file, "Новая", "ключ"), "");
        (void)ReadProfileString(file, "UDP", "PACKETIK");
        ASSERT_TRUE(WriteProfileString(file, "Новая", "ключ", "значение"));
        const std::string after = ReadBytes(file);
        EXPECT_EQ(after.substr(0, original.size()), original);
        EXPECT_LE(after.size(), original.size() + 40);
        EXPECT_EQ(ReadProfileString(file, "новая", "КЛЮЧ"), "значение");
    }
}

TEST(ProfileFile, ConcurrentWritersToDifferentSectionsLoseNothing) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    constexpr int kWrites = 60;
    auto writer = [&](const std::string& section) {
        for (int i = 0; i < kWrites; ++i) {
            WriteProfileString(file, section, "K" + std::to_string(i), std::to_string(i));
        }
    };
    std::thread ui(writer, "UDP");
    std::thread worker(writer, "Kanal №1");
    ui.join();
    worker.join();
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(ReadProfileString(file, "UDP", "K" + std::to_string(i)), std::to_string(i));
        EXPECT_EQ(ReadProfileString(file, "Kanal №1", "K" + std::to_string(i)), std::to_string(i));
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});
}

TEST(ProfileFile, ByteOrderMarkIsSkippedOnReadAndKeptOnWrite) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    const std::string bom = "\xEF\xBB\xBF";
    WriteBytes(file, bom + "[UDP]\r\n\xCF\xCE\xD0\xD2 IN=10002\r\n");
    EXPECT_EQ(ReadProfileString(file, "UDP", "ПОРТ IN"), "10002");

    ASSERT_TRUE(WriteProfileString(file, "UDP", "PACKETIK", "7E 7F"));
    ASSERT_TRUE(WriteProfileString(file, "UDP", "ПОРТ IN", "10003"));
    EXPECT_EQ(ReadBytes(file), bom + "[UDP]\r\n\xCF\xCE\xD0\xD2 IN=10003\r\nPACKETIK=7E 7F\r\n");

    // Only a mark at the very start is one; elsewhere the bytes belong to a name.
    WriteBytes(file, "[A]\r\nK=1\r\n" + bom + "[UDP]\r\nK=2\r\n");
    EXPECT_EQ(ReadProfileString(file, "UDP", "K"), "");
}

}  // namespace
}  // namespace tarvu
