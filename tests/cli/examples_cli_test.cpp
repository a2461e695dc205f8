// The examples/ scenario against the examples/ rule file: it passes, a changed rule makes it
// fail where it should, and the reports come out whole. Runs on both systems (under Wine the
// Windows programs play both sides).

#include "scenario_test_support.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using testing::ReadFile;
using testing::RunCli;
using testing::TempDirectory;
using testing::WriteFile;

const std::filesystem::path kExamples = TARVU_EXAMPLES_DIR;

// The example rule file with its listen statement taken out, `from` replaced by `to`.
std::string ExampleRules(const std::string& from = {}, const std::string& to = {}) {
    std::string rules = ReadFile(kExamples / "desk.rules");
    const size_t listen = rules.find("listen 10002\n");
    if (listen != std::string::npos) {
        rules.erase(listen, 13);
    }
    if (!from.empty()) {
        const size_t at = rules.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        rules.replace(at, from.size(), to);
    }
    return rules;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

class ExamplesCli : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy in the temporary folder: under Wine a path that starts with / would read as a
        // Windows-style option to the Windows program.
        WriteFile(dir_ / "desk.scenario", ReadFile(kExamples / "desk.scenario"));
    }
    testing::CliRun Run(uint16_t port, std::vector<std::string> extra) {
        std::vector<std::string> arguments = {"run",        (dir_ / "desk.scenario").string(),
                                              "--to",       "127.0.0.1:" + std::to_string(port),
                                              "--listen",   std::to_string(listenPort_),
                                              "--settings", (dir_ / "settings.ini").string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return RunCli(dir_, arguments, 30000);
    }

    TempDirectory dir_;
    uint16_t listenPort_ = testing::FreeUdpPort();
};

TEST_F(ExamplesCli, TheDeskScenarioPassesAgainstTheDeskRules) {
    testing::SimulatorPeer sim(dir_, ExampleRules());
    ASSERT_TRUE(sim.started) << ReadFile(sim.err);
    const testing::CliRun run = Run(sim.port, {"--junit", (dir_ / "desk.xml").string()});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(Count(run.out, "\nok "), 8u) << run.out;
    EXPECT_EQ(Count(run.out, "FAIL "), 0u);
    EXPECT_NE(run.out.find("code=C9(ma_RELOCK)"), std::string::npos) << "the decoded layer";
    const std::string junit = ReadFile(dir_ / "desk.xml");
    EXPECT_NE(junit.find("tests=\"8\" failures=\"0\" errors=\"0\""), std::string::npos) << junit;

    const testing::CliRun tap = Run(sim.port, {"--tap", "--quiet"});
    EXPECT_EQ(tap.exitCode, 0) << tap.out << tap.err;
    EXPECT_EQ(tap.out.rfind("TAP version 14\n1..8\nok 1 - a poll is answered: on duty\n", 0), 0u)
        << tap.out;
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(ExamplesCli, AChangedRuleFailsTheScenarioWhereItShould) {
    // The converter now answers a relock as a hard relock.
    testing::SimulatorPeer sim(
        dir_, ExampleRules("code=ma_RELOCK body={body}", "code=ma_HARD_RELOCK body={body}"));
    ASSERT_TRUE(sim.started) << ReadFile(sim.err);
    const testing::CliRun run = Run(sim.port, {"--tap", "--junit", (dir_ / "desk.xml").string(),
                                               "--log", (dir_ / "desk.log").string()});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("not ok 2 - relock is confirmed with its parameter\n  ---\n"
                           "  message: \"line 15: expected dev=01 code=ma_RELOCK body=01 00 D1 "
                           "within 1s, received 11 01 00 30 10 C2 01 00 D1\"\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  got: \"11 01 00 30 10 C2 01 00 D1\"\n"), std::string::npos);
    EXPECT_EQ(Count(run.out, "\nok "), 7u) << "the other tests still pass";
    const std::string junit = ReadFile(dir_ / "desk.xml");
    EXPECT_NE(junit.find("tests=\"8\" failures=\"1\""), std::string::npos) << junit;
    EXPECT_NE(junit.find("received: 11 01 00 30 10 C2 01 00 D1"), std::string::npos);
    EXPECT_NE(junit.find("[[ATTACHMENT|" + (dir_ / "desk.log").string() + "]]"), std::string::npos);
    EXPECT_NE(ReadFile(dir_ / "desk.log").find("<-- 11 01 00 30 10 A3 01 00 D1"),
              std::string::npos);
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
}  // namespace tarvu
