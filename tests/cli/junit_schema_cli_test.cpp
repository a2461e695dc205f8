// The JUnit reports of tarvu-cli run checked with xmllint against the Jenkins/Ant layout in
// tests/data/junit.xsd: passed, failed, not run for the link, and names that need escaping.

#include "scenario_test_support.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

using testing::ReadFile;
using testing::RunCli;
using testing::TempDirectory;
using testing::WriteFile;

// Runs xmllint on `file`; its exit code, -1 when it cannot be started.
int Validate(const TempDirectory& dir, const std::filesystem::path& file) {
    ChildProcess xmllint;
    if (!xmllint.Start(
            "/usr/bin/xmllint",
            {"--noout", "--schema", std::string(TARVU_TEST_DATA_DIR) + "/junit.xsd", file.string()},
            dir / "xmllint.out", dir / "xmllint.err")) {
        return -1;
    }
    return xmllint.Wait(20000).value_or(-1);
}

TEST(JUnitSchemaCli, ReportsOfEveryOutcomeAreValid) {
    ASSERT_TRUE(std::filesystem::exists("/usr/bin/xmllint"))
        << "xmllint is missing: scripts/deps.sh test installs libxml2-utils";
    TempDirectory dir;
    testing::SimulatorPeer sim(dir, "on code=ca_RELOCK reply dev={dev} addr2=00 code=ma_RELOCK\n");
    ASSERT_TRUE(sim.started) << ReadFile(sim.err);
    PlainUdpSocket holder;
    std::string error;
    ASSERT_TRUE(holder.Bind(0, error)) << error;
    const std::string listen = std::to_string(testing::FreeUdpPort());
    WriteFile(dir / "a.scenario", "to 127.0.0.1:" + std::to_string(sim.port) + "\nlisten " +
                                      listen +
                                      "\ntest \"passes <&> \\\"quoted\\\" 'single'\"\n"
                                      "  send dev=01 addr2=00 code=ca_RELOCK body=01 00 D1\n"
                                      "  expect code=ma_RELOCK within 2s\n"
                                      "test \"fails: кириллица\"\n"
                                      "  expect code=ma_RELOCK within 100ms\n");
    WriteFile(dir / "b.scenario", "to 127.0.0.1:9\nlisten " + std::to_string(holder.LocalPort()) +
                                      "\ntest \"not run\"\n  expect *\n");
    const testing::CliRun run =
        RunCli(dir, {"run", (dir / "a.scenario").string(), (dir / "b.scenario").string(), "--junit",
                     (dir / "report.xml").string(), "--pcap", (dir / "run.pcap").string(),
                     "--settings", (dir / "settings.ini").string()});
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
    const std::string report = ReadFile(dir / "report.xml");
    EXPECT_NE(report.find("<failure "), std::string::npos) << report;
    EXPECT_NE(report.find("<error "), std::string::npos);
    EXPECT_NE(report.find("passes &lt;&amp;&gt; &quot;quoted&quot; &apos;single&apos;"),
              std::string::npos);
    EXPECT_EQ(Validate(dir, dir / "report.xml"), 0) << ReadFile(dir / "xmllint.err") << report;

    // The schema is no rubber stamp: a testcase without its time is refused.
    std::string broken = report;
    const size_t time = broken.find(" time=", broken.find("<testcase"));
    broken.erase(time, broken.find('"', time + 7) - time + 1);
    WriteFile(dir / "broken.xml", broken);
    EXPECT_NE(Validate(dir, dir / "broken.xml"), 0) << broken;
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
}  // namespace tarvu
