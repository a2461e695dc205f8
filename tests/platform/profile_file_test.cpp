#include "platform/profile_file.h"

#include "platform/cp1251.h"
#include "tests/support/child_process_runner.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// A named pipe never delivers an end of file to a reader until a writer comes and goes:
// both operations must give up at once instead of waiting for one.
TEST(ProfileFile, NamedPipeIsRefusedWithoutWaiting) {
    TempDirectory dir;
    const fs::path fifo = dir / "settings.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto finishesPromptly = [&fifo](auto operation) {
        auto pending = std::async(std::launch::async, operation);
        if (pending.wait_for(std::chrono::seconds(3)) == std::future_status::ready) {
            return true;
        }
        // Release the blocked open so the test can end.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        pending.wait();
        ::close(writer);
        ::close(reader);
        return false;
    };
    std::string value = "unread";
    EXPECT_TRUE(finishesPromptly([&] { value = ReadProfileString(fifo, "UDP", "A"); }));
    EXPECT_EQ(value, "");
    bool written = true;
    EXPECT_TRUE(finishesPromptly([&] { written = WriteProfileString(fifo, "UDP", "A", "1"); }));
    EXPECT_FALSE(written);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});
}

// Several programs sharing one file: each read-modify-write must see the others' keys.
TEST(ProfileFile, ProcessesWritingAtOnceLoseNoKey) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    constexpr int kProcesses = 6;
    constexpr int kKeys = 25;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(gate[1]);
            char byte;
            // Every child starts when the parent closes the gate.
            [[maybe_unused]] const ssize_t ignored = ::read(gate[0], &byte, 1);
            int failures = 0;
            for (int k = 0; k < kKeys; ++k) {
                const std::string section = k % 2 == 0 ? "UDP" : "SHIFRACIA";
                failures += WriteProfileString(file, section,
                                               "P" + std::to_string(p) + "K" + std::to_string(k),
                                               std::to_string(p * 100 + k))
                                ? 0
                                : 1;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    int missing = 0;
    for (int p = 0; p < kProcesses; ++p) {
        for (int k = 0; k < kKeys; ++k) {
            const std::string section = k % 2 == 0 ? "UDP" : "SHIFRACIA";
            const std::string key = "P" + std::to_string(p) + "K" + std::to_string(k);
            missing += ReadProfileString(file, section, key) == std::to_string(p * 100 + k) ? 0 : 1;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});
}

TEST(ProfileFile, LeftoverTemporariesOfDeadProcessesAreRemoved) {
    TempDirectory dir;
    const fs::path file = dir / "settings.ini";
    const pid_t dead = ::fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    const pid_t live = ::fork();
    ASSERT_GE(live, 0);
    if (live == 0) {
        ::close(gate[1]);
        char byte;
        [[maybe_unused]] const ssize_t ignored = ::read(gate[0], &byte, 1);
        ::_exit(0);
    }
    ::close(gate[0]);

    const std::string deadName = ".settings.ini.tmp-" + std::to_string(dead) + "-7";
    const std::string liveName = ".settings.ini.tmp-" + std::to_string(live) + "-0";
    const std::vector<std::string> kept = {
        liveName,
        ".other.ini.tmp-" + std::to_string(dead) + "-0",    // another file's
        ".settings.ini.tmp-" + std::to_string(dead) + "-",  // not a name we make
        ".settings.ini.tmp-" + std::to_string(dead) + "-1x",
        "settings.ini.tmp-" + std::to_string(dead) + "-1",
    };
    WriteBytes(dir / deadName, std::string(1 << 16, 'x'));
    for (const std::string& name : kept) {
        WriteBytes(dir / name, "y");
    }
    WriteBytes(file, "[UDP]\r\nA=1\r\n");

    ASSERT_TRUE(WriteProfileString(file, "UDP", "A", "2"));
    EXPECT_FALSE(fs::exists(dir / deadName));
    for (const std::string& name : kept) {
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    }
    EXPECT_EQ(ReadBytes(file), "[UDP]\r\nA=2\r\n");

    ::close(gate[1]);
    ASSERT_EQ(::waitpid(live, nullptr, 0), live);
}

// A folder the user may not write to, holding a file the user may write (a settings file
// copied in from elsewhere): the file is rewritten in place and keeps every key.
TEST(ProfileFile, WritableFileInReadOnlyFolderIsRewrittenInPlace) {
    TempDirectory dir;
    const fs::path folder = dir / "program";
    fs::create_directory(folder);
    const fs::path file = folder / "settings.ini";
    const std::string original = "[UDP]\r\nA=1\r\nB=long old value\r\n";
    WriteBytes(file, original);
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(file, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                             fs::perms::others_exec));
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);

    const ChildOutcome outcome = RunInChild(
        [&] {
            if (!WriteProfileString(file, "UDP", "B", "2")) {
                return 1;
            }
            if (!WriteProfileString(file, "Kanal №1", "K", "да")) {
                return 2;
            }
            if (ReadProfileString(file, "UDP", "A") != "1") {
                return 3;
            }
            return 0;
        },
        /*unprivileged=*/true);
    fs::permissions(folder, fs::perms::owner_all);
    if (!outcome.ran) {
        GTEST_SKIP() << outcome.why;
    }
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_EQ(ReadBytes(file),
              "[UDP]\r\nA=1\r\nB=2\r\n[Kanal \xB9"
              "1]\r\nK=\xE4\xE0\r\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"program"});
}

}  // namespace
}  // namespace tarvu
