#include "app/channel_service.h"
#include "app/cli/commands.h"
#include "app/cli/link_overrides.h"
#include "app/cli/scenario_link.h"
#include "app/cli/scenario_runner.h"
#include "app/cli/terminal_text.h"
#include "app/cli/test_report.h"
#include "app/cli/trace_output.h"
#include "app/main_dialog_logic.h"
#include "app/session_settings.h"
#include "platform/debug_output.h"
#include "platform/file_replace.h"
#include "platform/local_time.h"
#include "platform/stop_signal.h"
#include "record/session_recorder.h"
#include "scenario/scenario_file.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

namespace tarvu::cli {
namespace {

constexpr const char* kRunFooter = R"(
Runs the tests of each scenario FILE against a converter (or tarvu-cli simulate) and says for
each "ok NAME" or "FAIL NAME: ..." with what was expected and the bytes received. A scenario
(# comments, one statement a line, durations as 250ms or 2s):

  to 127.0.0.1:10002            the converter (or: serial /dev/ttyUSB0 9600)
  listen 10001                  the local UDP port
  frame on                      7E ... 7F frames with escapes
  key 00112233...               a GOST channel key: packets leave encrypted, replies are
                                decrypted before they are matched
  window 1s                     the default expectation window (1 s when absent)
  test "relock is confirmed"
    send dev=01 addr2=00 code=ca_RELOCK body=01 00 D1
    expect code=ma_RELOCK dev=01 within 500ms
  test "polls answer"
    repeat 3 every 200ms
      send 11 01 00 30 {n}
      expect 11 01 ?? 30 *
    end
    expect none within 300ms

send takes bytes as the packet field does, or fields (dev, addr2, type, qual, code by value or
catalogue name, body); {n} counts the sends of its statement (one byte; {n:2} two). expect
takes bytes (?? any byte, 3? a half byte, a last * any rest) or fields, any field left out
matching anything; packets that do not match are traced and skipped. A test fails at its first
unmet expectation and the run goes on with the next test. A window counts from the start of the
expect statement to the reply's arrival at the socket. Header statements win over the settings
file, which a run reads but never writes; the options below win over both.

Standard output carries the trace (with the decoded lines) and the result lines; --tap writes
TAP 14 instead, with the trace as "# " comments. Exit codes: 0 every test passed; 1 an
expectation failed; 2 the command line or a file is wrong (FILE:LINE:COLUMN and the offending
text), nothing sent; 3 the link could not be used (port taken, serial line missing); 141 the
reader of standard output went away (the run ended as at Ctrl+C, the JUnit file written).

Example (two terminals):
  tarvu-cli simulate examples/desk.rules --listen 10002
  tarvu-cli run examples/desk.scenario --to 127.0.0.1:10002 --listen 10001 --junit report.xml)";

struct RunOptions {
    std::vector<std::string> files;
    LinkOverrides link;
    std::string settingsFile;
    bool tap = false;
    std::string junitFile;
    std::string logFile;
    std::string pcapFile;
    bool quiet = false;
    bool debug = false;
};

std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// "2026-12-08T03:15:37": the local time JUnit's timestamp takes.
std::string JUnitTimestamp() {
    std::string text = LocalTimestamp(std::time(nullptr)).substr(0, 19);
    if (text.size() > 10) {
        text[10] = 'T';
    }
    return text;
}

// Every line of `text` as a TAP comment.
std::string AsComments(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const size_t stop = end == std::string::npos ? text.size() : end + 1;
        out += "# " + text.substr(start, stop - start);
        start = stop;
    }
    if (!out.empty() && out.back() != '\n') {
        out += '\n';
    }
    return out;
}

bool LoadScenarios(const RunOptions& options, std::vector<scenario::Scenario>& scenarios) {
    for (const std::string& file : options.files) {
        std::string text;
        std::string error;
        if (!ReadTextFile(file, text, error)) {
            PrintErrorLine("tarvu-cli run: %s: %s", file.c_str(), error.c_str());
            return false;
        }
        scenario::Scenario& loaded = scenarios.emplace_back();
        scenario::SourceError sourceError;
        if (!scenario::ParseScenario(file, text, loaded, sourceError)) {
            PrintErrorLine("tarvu-cli run: %s", scenario::FormatSourceError(sourceError).c_str());
            return false;
        }
        if (!ApplyLinkOverrides(options.link, loaded.link, error)) {
            PrintErrorLine("tarvu-cli run: %s", error.c_str());
            return false;
        }
        if (loaded.link.serial && loaded.link.key) {
            PrintErrorLine("tarvu-cli run: %s: a key is for UDP channels, not a serial line",
                           file.c_str());
            return false;
        }
    }
    return true;
}

class RunReporter {
public:
    RunReporter(const RunOptions& options, TraceOutput& output, size_t tests)
        : options_(options), output_(output) {
        junit_.files = options.files;
        junit_.timestamp = JUnitTimestamp();
        junit_.logFile = options.logFile;
        junit_.pcapFile = options.pcapFile;
        if (options.tap) {
            output_.Append(TapHeader(tests));
        }
    }

    // The JUnit file is written before anything runs, so that a file that cannot be written
    // stops the run before the first packet, and after every test, so that it always holds
    // every result so far.
    bool WriteJUnit() {
        return options_.junitFile.empty() ||
               ReplaceFileContents(Utf8Path(options_.junitFile), JUnitDocument(junit_));
    }

    void Add(TestResult result) {
        ++number_;
        passed_ += result.outcome == TestOutcome::kPassed;
        failed_ += result.outcome == TestOutcome::kFailed;
        errors_ += result.outcome == TestOutcome::kError;
        skipped_ += result.outcome == TestOutcome::kSkipped;
        output_.Append(options_.tap ? TapResult(number_, result) : PlainResultLine(result));
        junit_.results.push_back(std::move(result));
        if (!WriteJUnit() && !junitFailed_) {
            junitFailed_ = true;
            PrintErrorLine("tarvu-cli run: --junit: %s could not be written",
                           options_.junitFile.c_str());
        }
    }

    std::string Summary() const {
        std::string text = "tarvu-cli run: " + std::to_string(number_) + " test" +
                           (number_ == 1 ? "" : "s") + ", " + std::to_string(passed_) +
                           " passed, " + std::to_string(failed_) + " failed";
        if (errors_ != 0) {
            text += ", " + std::to_string(errors_) + " not run for the link";
        }
        if (skipped_ != 0) {
            text += ", " + std::to_string(skipped_) + " skipped";
        }
        return text;
    }

    bool AnyFailed() const { return failed_ != 0; }
    bool AnyError() const { return errors_ != 0; }

private:
    const RunOptions& options_;
    TraceOutput& output_;
    JUnitRun junit_;
    size_t number_ = 0;
    size_t passed_ = 0;
    size_t failed_ = 0;
    size_t errors_ = 0;
    size_t skipped_ = 0;
    bool junitFailed_ = false;
};

int RunScenarios(const RunOptions& options) {
    std::vector<scenario::Scenario> scenarios;
    if (!LoadScenarios(options, scenarios)) {
        return kScriptUsage;
    }
    size_t tests = 0;
    for (const scenario::Scenario& loaded : scenarios) {
        tests += loaded.tests.size();
    }
    SessionRecorder recorder([](const std::string& message) {
        std::fprintf(stderr, "tarvu-cli run: %s\n", message.c_str());
    });
    std::string error;
    if (!options.logFile.empty() && !recorder.OpenLog(options.logFile, error)) {
        PrintErrorLine("tarvu-cli run: --log: %s", error.c_str());
        return kScriptUsage;
    }
    if (!options.pcapFile.empty() && !recorder.OpenCapture(options.pcapFile, error)) {
        PrintErrorLine("tarvu-cli run: --pcap: %s", error.c_str());
        return kScriptUsage;
    }

    EnableDebugToStderr(options.debug);
    InstallStopSignals();
    // A reader of standard output that goes away ends the run as Ctrl+C does.
    TraceOutput output(kStandardOutput, TraceOutput::kDefaultCapacity, [] { RequestStop(); });
    RunReporter reporter(options, output, tests);
    if (!reporter.WriteJUnit()) {
        PrintErrorLine("tarvu-cli run: --junit: %s cannot be written", options.junitFile.c_str());
        output.Finish([] { return true; }, std::chrono::milliseconds(0));
        return kScriptUsage;
    }
    const auto trace = [&options, &output](const std::string& line) {
        if (!options.quiet) {
            output.Append(options.tap ? AsComments(line) : line);
        }
    };
    bool recording = false;
    for (size_t suite = 0; suite < scenarios.size(); ++suite) {
        const scenario::Scenario& loaded = scenarios[suite];
        const auto add = [&reporter, &loaded, suite](const scenario::ScenarioTest& test,
                                                     TestOutcome outcome,
                                                     const std::string& message) {
            TestResult result;
            result.file = loaded.file;
            result.suite = suite;
            result.name = test.name;
            result.line = test.line;
            result.outcome = outcome;
            result.message = message;
            reporter.Add(std::move(result));
        };
        if (StopRequested()) {
            for (const scenario::ScenarioTest& test : loaded.tests) {
                add(test, TestOutcome::kSkipped, "the run was interrupted");
            }
            continue;
        }
        ScenarioLink link(loaded.link, options.settingsFile, trace, &recorder, TransportChannels());
        std::string reason;
        if (!link.Open(reason)) {
            for (const scenario::ScenarioTest& test : loaded.tests) {
                add(test, TestOutcome::kError, "the link could not be used: " + reason);
            }
            continue;
        }
        if (!recording) {
            // The log's header names the first file's link.
            const MainWindow& fields = *link.Logic().GetMainWindow();
            recorder.Start(
                CurrentSessionSettings(
                    fields, loaded.link.serial ? loaded.link.serial->device : std::string()),
                0, CurrentReadPort(fields));
            recording = true;
        }
        ScenarioRunner runner(loaded, link, [] { return StopRequested(); });
        for (size_t i = 0; i < loaded.tests.size(); ++i) {
            if (StopRequested()) {
                add(loaded.tests[i], TestOutcome::kSkipped, "the run was interrupted");
                continue;
            }
            TestResult result = runner.Run(i);
            result.suite = suite;
            reporter.Add(std::move(result));
        }
        link.Close();
    }
    recorder.Stop();
    for (const std::string& line : recorder.DropReport()) {
        PrintErrorLine("tarvu-cli run: %s", line.c_str());
    }
    const size_t unwritten =
        output.Finish([] { return StopRequested(); }, std::chrono::milliseconds(250));
    if (unwritten > 0) {
        PrintErrorLine("tarvu-cli run: %zu line%s not written to standard output", unwritten,
                       unwritten == 1 ? "" : "s");
    }
    PrintErrorLine("%s", reporter.Summary().c_str());
    if (output.OutputClosed()) {
        PrintErrorLine("tarvu-cli run: standard output was closed; the run was ended");
        return kScriptOutputClosed;
    }
    if (reporter.AnyError()) {
        return kScriptLinkUnusable;
    }
    return reporter.AnyFailed() || StopRequested() ? kScriptFailed : kScriptPassed;
}

}  // namespace

void RegisterRunCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RunOptions>();
    auto* command = app.add_subcommand(
        "run",
        "Runs scenario files: sends packets, expects replies within windows, and says ok or "
        "FAIL for each test (TAP and JUnit for CI)");
    command->footer(kRunFooter);
    command->add_option("FILE", options->files, "Scenario files, run one after the other")
        ->required();
    AddLinkOverrides(*command, options->link, "the converter", /*listenZero=*/false);
    command->add_option("--settings", options->settingsFile,
                        "Settings file whose fields stand in for header statements a scenario "
                        "leaves out (read, never written)");
    command->add_flag("--tap", options->tap,
                      "TAP 14 on standard output (got: and expected: for failures), the trace "
                      "as \"# \" comments");
    command->add_option("--junit", options->junitFile,
                        "Write a JUnit XML report to this file: one testcase per test, "
                        "classname the scenario file, --log and --pcap in system-out");
    command->add_option("--log", options->logFile,
                        "Append the session's trace lines to this file (as the client does)");
    command->add_option("--pcap", options->pcapFile,
                        "Write every UDP datagram sent and received to this capture file");
    command->add_flag("--quiet", options->quiet, "Only the result lines, no trace");
    command->add_flag("--debug", options->debug, "Debug output on standard error");
    command->callback([options, &exitCode] {
        exitCode = RunScenarios(*options);
        // The JUnit file is written: a console close waits no longer.
        StopCompleted();
    });
}

}  // namespace tarvu::cli
