// tarvu.exe's command line: the Linux dialog's options, the help and version answers, and the
// errors that end the program with status 2.

#include "app/win32/command_line.h"

#include "tarvu_build_info.h"

#include <gtest/gtest.h>

namespace tarvu::win32 {
namespace {

CommandLineResult Parse(std::vector<std::string> arguments, Options& options,
                        std::string& message) {
    arguments.insert(arguments.begin(), "tarvu.exe");
    return ParseCommandLine(arguments, options, message);
}

TEST(Win32CommandLine, TakesEveryOptionInBothForms) {
    Options options;
    std::string message;
    ASSERT_EQ(Parse({"--settings", "C:\\Пользователи\\настройки.ini", "--debug", "--log=s.log",
                     "--pcap", "s.pcap"},
                    options, message),
              CommandLineResult::kRun);
    EXPECT_EQ(options.settingsFile, "C:\\Пользователи\\настройки.ini");
    EXPECT_TRUE(options.debug);
    EXPECT_EQ(options.logFile, "s.log");
    EXPECT_EQ(options.pcapFile, "s.pcap");

    Options none;
    ASSERT_EQ(Parse({}, none, message), CommandLineResult::kRun);
    EXPECT_TRUE(none.settingsFile.empty());
    EXPECT_FALSE(none.debug);
}

TEST(Win32CommandLine, HelpAndVersionAnswerAndEnd) {
    for (const char* help : {"--help", "-h", "-?", "/?"}) {
        Options options;
        std::string message;
        EXPECT_EQ(Parse({help}, options, message), CommandLineResult::kExitSuccess) << help;
        EXPECT_NE(message.find("--settings <FILE>"), std::string::npos) << help;
        EXPECT_NE(message.find("--pcap <FILE>"), std::string::npos) << help;
    }
    Options options;
    std::string message;
    EXPECT_EQ(Parse({"--version"}, options, message), CommandLineResult::kExitSuccess);
    EXPECT_EQ(message,
              "tarvu " TARVU_VERSION "\n" TARVU_COPYRIGHT_LINE "\n" TARVU_LICENSE_LINE "\n");
}

TEST(Win32CommandLine, MistakesAreRefusedWithTheReason) {
    struct Case {
        std::vector<std::string> arguments;
        std::string start;
    };
    const Case cases[] = {
        {{"--bogus"}, "Unknown option 'bogus'."},
        {{"-x"}, "Unknown option 'x'."},
        {{"--settings"}, "Missing value after '--settings'."},
        {{"--log"}, "Missing value after '--log'."},
        {{"--settings="}, "--settings needs a file name"},
        {{"--debug=yes"}, "Unexpected value after '--debug'."},
        {{"extra"}, "Unexpected argument: extra"},
    };
    for (const Case& c : cases) {
        Options options;
        std::string message;
        EXPECT_EQ(Parse(c.arguments, options, message), CommandLineResult::kExitFailure)
            << c.arguments.front();
        EXPECT_EQ(message.rfind(c.start, 0), 0u) << message;
    }
}

}  // namespace
}  // namespace tarvu::win32
