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

// Parses as tarvu-cli's main does (a parse error exits 2) and captures what is printed.
CommandResult Describe(std::vector<std::string> args) {
    CLI::App app;
    CommandResult result;
    RegisterDescribeCommand(app, result.exitCode);
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
        result.exitCode = 2;
    }
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

TEST(DescribeCommand, PrintsCodeAndParameterForms) {
    const CommandResult result = Describe({"21", "9E"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "21(ma_ALARM) 9E(PARAM_LOST_ACCUM)\n");
    EXPECT_EQ(Describe({"301"}).out, "301(ma_MAC)\n");
    EXPECT_EQ(Describe({"e1", "9c"}).out, "E1(ma_UNKNOWN) 9C\n");
    EXPECT_EQ(Describe({"066", "0"}).out, "66(ma_RESET_ALARM_KTS\t) 00\n");
}

TEST(DescribeCommand, BadInputIsAUsageErrorNamingTheCharacter) {
    CommandResult result = Describe({"2G"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("'G' at position 2"), std::string::npos) << result.err;
    result = Describe({"21", "0x9E"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("PARAM: not a hexadecimal digit: 'x'"), std::string::npos);
    EXPECT_EQ(Describe({"1000"}).exitCode, 2);
    EXPECT_EQ(Describe({"21", "100"}).exitCode, 2);
    EXPECT_EQ(Describe({""}).exitCode, 2);
    EXPECT_EQ(Describe({}).exitCode, 2);
}

}  // namespace
}  // namespace tarvu::cli
