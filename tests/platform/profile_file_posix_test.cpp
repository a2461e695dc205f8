// The settings file among POSIX processes, named pipes and folder permissions.
#include "platform/profile_file.h"
#include "tests/support/child_process_runner.h"
#include "tests/support/temp_directory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarvu {
namespace {

namespace fs = std::filesystem;

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
