#include "app/cli/commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvu::cli {
namespace {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Parses the arguments the way tarvu-cli's main does and captures what the command prints.
CommandResult Describe(std::vector<std::string> args) {
    CLI::App app;
    CommandResult run;
    RegisterDescribeCommand(app, run.exitCode);
    args.insert(args.begin(), {"tarvu-cli", "describe"});
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError&) {
        run.exitCode = 2;
    }
    run.out = testing::internal::GetCapturedStdout();
    run.err = testing::internal::GetCapturedStderr();
    return run;
}

TEST(DescribeCommand, PrintsCodeAndParameterForms) {
    CommandResult run = Describe({"21", "9E"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "21(ma_ALARM) 9E(PARAM_LOST_ACCUM)\n");
    EXPECT_EQ(Describe({"301"}).out, "301(ma_MAC)\n");
    EXPECT_EQ(Describe({"e1", "9c"}).out, "E1(ma_UNKNOWN) 9C\n");
    EXPECT_EQ(Describe({"1"}).out, "01(? ? ?)\n");
    EXPECT_EQ(Describe({"066", "0"}).out, "66(ma_RESET_ALARM_KTS\t) 00\n");
}

TEST(DescribeCommand, BadInputIsAUsageErrorNamingTheCharacter) {
    CommandResult run = Describe({"2G"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("'G' at position 2"), std::string::npos) << run.err;

    run = Describe({"21", "0x9E"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("PARAM"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("'x' at position 2"), std::string::npos) << run.err;

    run = Describe({"1000"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("more than 3"), std::string::npos) << run.err;
    EXPECT_EQ(Describe({"21", "100"}).exitCode, 2);
    EXPECT_EQ(Describe({""}).exitCode, 2);
    EXPECT_EQ(Describe({}).exitCode, 2);
}

}  // namespace
}  // namespace tarvu::cli
