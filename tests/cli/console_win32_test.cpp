// The console tarvu-cli.exe ran in keeps its code pages once the program has ended.
#include "client_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace tarvu {
namespace {

TEST(Console, TarvuCliPutsBackTheConsoleCodePages) {
    // The child shares this program's console (made here if there is none; Wine gives one
    // without a window).
    if (::GetConsoleOutputCP() == 0) {
        ASSERT_TRUE(::AllocConsole()) << ::GetLastError();
    }
    const UINT output = ::GetConsoleOutputCP();
    const UINT input = ::GetConsoleCP();
    ASSERT_TRUE(::SetConsoleOutputCP(866));
    ASSERT_TRUE(::SetConsoleCP(866));
    testing::TempDirectory dir;
    // Russian text on the way: the program switches the console to UTF-8 while it runs.
    const testing::CliRun run = testing::RunCli(dir, {"describe", "1A"});
    const UINT outputAfter = ::GetConsoleOutputCP();
    const UINT inputAfter = ::GetConsoleCP();
    ::SetConsoleOutputCP(output);
    ::SetConsoleCP(input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(outputAfter, 866u);
    EXPECT_EQ(inputAfter, 866u);
}

}  // namespace
}  // namespace tarvu
