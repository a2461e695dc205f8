// End-to-end tests of `tarvu-cli frame`: the real binary, its standard output and exit code.

#include "client_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct RunResult {
    int exitCode = -1;
    std::string output;
};

// Splits `args` into words at blanks; single quotes keep blanks inside a word, as a shell does.
std::vector<std::string> Words(const std::string& args) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : args) {
        if (c == '\'') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// Runs tarvu-cli with `args` (shell words). Standard error joins the output only when asked,
// so that successful runs are checked for exactly what they print on standard output.
RunResult RunCli(const std::string& args, bool withStderr = false) {
    const tarvu::TempDirectory dir;
    const tarvu::testing::CliRun run = tarvu::testing::RunCli(dir, Words(args));
    RunResult result;
    result.exitCode = run.exitCode;
    result.output = withStderr ? run.out + run.err : run.out;
    return result;
}

std::string Repeat(const std::string& word, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += word;
    }
    return text;
}

TEST(FrameCli, EncodePrintsTheFrame) {
    const std::string expected = "7E 7D 51 7D 41 7D 40 30 7D 50 A3 7D 41 7D 40 D1 7F\n";
    RunResult r = RunCli("frame encode 11 01 00 30 10 A3 01 00 D1");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, expected);
    // Blanks anywhere, either case, in one or several words.
    EXPECT_EQ(RunCli("frame encode 1101 '00 3' 010a30100d1").output, expected);
    r = RunCli("frame encode");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "7E 7F\n");

    // A full 512-byte packet of reserved bytes fits; one byte more is refused.
    r = RunCli("frame encode " + Repeat("7E", 512));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "7E " + Repeat("7D 3E ", 512) + "7F\n");
    r = RunCli("frame encode " + Repeat("00", 513), true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("513 bytes"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("at most 512"), std::string::npos) << r.output;
}

TEST(FrameCli, DecodePrintsEachPacketOnItsOwnLine) {
    RunResult r = RunCli("frame decode 7E 41 7D 3E 42 7F 7E7F 41 42 7F 7E 41 7E 42 7F 7e 41 7d 7f");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "41 7E 42\n\n42\n41 3F\n");
    // Noise and an unfinished frame give nothing at all.
    r = RunCli("frame decode 41 42 7F 7E 43");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "");
    // A span of 513 bytes is dropped, 512 is not.
    r = RunCli("frame decode 7E" + Repeat(" 44", 511) + " 7F 7E" + Repeat(" 45", 510) + " 7F");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, Repeat("45 ", 509) + "45\n");
}

TEST(FrameCli, BadInputIsAUsageError) {
    RunResult r = RunCli("frame decode 7E 4G 7F", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("'G' at position 5"), std::string::npos) << r.output;
    r = RunCli("frame encode 7E,7F", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("','"), std::string::npos) << r.output;
    r = RunCli("frame encode 7E 7", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("odd number"), std::string::npos) << r.output;
    EXPECT_EQ(RunCli("frame", true).exitCode, 2);
    EXPECT_EQ(RunCli("frame reverse 7E", true).exitCode, 2);
}

TEST(FrameCli, HelpShowsAnExample) {
    for (const char* sub : {"encode", "decode"}) {
        RunResult r = RunCli(std::string("frame ") + sub + " --help");
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.output.find("Example:"), std::string::npos) << sub;
        EXPECT_NE(r.output.find(std::string("tarvu-cli frame ") + sub), std::string::npos);
    }
}

}  // namespace
