// What the result writers do with text that would break their formats: TAP directives and
// YAML quoting, XML special and forbidden characters, and a file named twice.

#include "app/cli/test_report.h"

#include <gtest/gtest.h>

namespace tarvu::cli {
namespace {

TestResult Failed(const std::string& name, const std::string& message) {
    TestResult result;
    result.file = "a.scenario";
    result.name = name;
    result.line = 3;
    result.failedLine = 5;
    result.outcome = TestOutcome::kFailed;
    result.message = message;
    result.expected = "11 \"01\" \\ *";
    return result;
}

TEST(TestReportTest, TapEscapesDirectivesAndQuotesTheYaml) {
    const std::string tap = TapResult(2, Failed("#1 \\ not a # SKIP", "said \"no\"\x01"));
    EXPECT_EQ(tap.rfind("not ok 2 - \\#1 \\\\ not a \\# SKIP\n  ---\n", 0), 0u) << tap;
    EXPECT_NE(tap.find("  message: \"said \\\"no\\\"\\x01\"\n"), std::string::npos) << tap;
    EXPECT_NE(tap.find("  expected: \"11 \\\"01\\\" \\\\ *\"\n"), std::string::npos) << tap;
    EXPECT_NE(tap.find("  got: \"nothing\"\n"), std::string::npos);
    EXPECT_NE(tap.find("    line: 5\n"), std::string::npos);
    EXPECT_EQ(tap.substr(tap.size() - 6), "  ...\n");
    TestResult skipped;
    skipped.name = "later";
    skipped.outcome = TestOutcome::kSkipped;
    skipped.message = "the run was interrupted";
    EXPECT_EQ(TapResult(3, skipped), "ok 3 - later # SKIP the run was interrupted\n");
}

TEST(TestReportTest, XmlKeepsWhatItMayHoldAndReplacesTheRest) {
    EXPECT_EQ(XmlEscape("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
    EXPECT_EQ(XmlEscape("tab\tline\nкириллица"), "tab\tline\nкириллица");
    // A control character, a lone continuation byte and U+FFFE cannot stand in XML 1.0.
    EXPECT_EQ(XmlEscape("a\x01z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(XmlEscape("a\x80z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(XmlEscape("a\xEF\xBF\xBEz"), "a\xEF\xBF\xBDz");
}

TEST(TestReportTest, AFileNamedTwiceGivesTwoSuitesOfTheirOwnTests) {
    JUnitRun run;
    run.files = {"a.scenario", "a.scenario"};
    run.timestamp = "2026-12-08T00:00:00";
    TestResult first = Failed("one", "line 5: expected x");
    first.suite = 0;
    TestResult second;
    second.file = "a.scenario";
    second.suite = 1;
    second.name = "one";
    run.results = {first, second};
    const std::string xml = JUnitDocument(run);
    const size_t firstSuite = xml.find("<testsuite name=\"a.scenario\" tests=\"1\" failures=\"1\"");
    const size_t secondSuite =
        xml.find("<testsuite name=\"a.scenario\" tests=\"1\" failures=\"0\"");
    EXPECT_NE(firstSuite, std::string::npos) << xml;
    EXPECT_NE(secondSuite, std::string::npos) << xml;
    EXPECT_NE(xml.find("tests=\"2\" failures=\"1\" errors=\"0\" skipped=\"0\""), std::string::npos);
}

}  // namespace
}  // namespace tarvu::cli
