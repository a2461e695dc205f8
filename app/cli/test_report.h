#pragma once
// The results of a scenario run and the three ways they are written: one line per test on
// standard output ("ok NAME", "FAIL NAME: ..."), TAP 14, and a JUnit XML file (one testsuite per
// scenario file, one testcase per test) as GitLab and Jenkins read it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvu::cli {

enum class TestOutcome {
    kPassed,
    kFailed,   // an expectation was not met (or a packet could not be sent)
    kError,    // the link could not be used
    kSkipped,  // not run: the run was asked to stop
};

struct TestResult {
    std::string file;  // the scenario file as named on the command line
    size_t suite = 0;  // which of the run's files (a file may be named twice)
    std::string name;
    uint32_t line = 0;  // of the test statement
    TestOutcome outcome = TestOutcome::kPassed;
    uint32_t failedLine = 0;  // of the step that failed
    std::string message;      // what went wrong, one line
    std::string expected;     // the pattern (or "none"), for failures of an expectation
    std::string got;          // the packets received instead, in hex, "; " between them
    double seconds = 0;
};

// "ok NAME\n", "FAIL NAME: MESSAGE\n"; skipped tests: "SKIP NAME: MESSAGE\n".
std::string PlainResultLine(const TestResult& result);

// "TAP version 14\n1..N\n".
std::string TapHeader(size_t tests);
// "ok 3 - NAME" or "not ok 3 - NAME" with a YAML block (message, severity, at, expected, got);
// a skipped test is "ok 3 - NAME # SKIP MESSAGE".
std::string TapResult(size_t number, const TestResult& result);

struct JUnitRun {
    std::vector<std::string> files;  // one testsuite each, in this order, also when empty
    std::vector<TestResult> results;
    std::string timestamp;  // local time of the start, ISO 8601 without zone
    std::string logFile;    // --log and --pcap, named in each testcase's system-out
    std::string pcapFile;
};

std::string JUnitDocument(const JUnitRun& run);

// Text for XML content and attribute values: & < > " ' escaped, characters XML 1.0 cannot
// hold (controls other than tab and line ends, bytes that are not UTF-8) as U+FFFD.
std::string XmlEscape(const std::string& text);

}  // namespace tarvu::cli
