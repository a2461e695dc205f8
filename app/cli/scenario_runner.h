#pragma once
// Runs the tests of one scenario over a ScriptLink: sends, expectations with their windows,
// waits and repeats. A test fails at its first unmet expectation; the next test starts with
// nothing left from the one before.
//
// An expectation's window counts from the moment the step starts. A packet counts when it
// reached the socket within the window, even if it is handed over later: after the window the
// runner waits kArrivalGrace, and longer while the link is busy with a send (up to kBusyGrace),
// for such packets. Packets that arrived before the step and were not taken by an earlier one
// are looked at first.

#include "app/cli/script_link.h"
#include "app/cli/test_report.h"
#include "scenario/scenario_file.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tarvu::cli {

class ScenarioRunner {
public:
    static constexpr std::chrono::milliseconds kArrivalGrace{20};
    static constexpr std::chrono::milliseconds kBusyGrace{1000};
    // At most this many received packets are named in a failure.
    static constexpr size_t kPacketsNamed = 3;

    // `stop` says when the run was asked to end. Both outlive the runner.
    ScenarioRunner(const scenario::Scenario& scenario, ScriptLink& link,
                   std::function<bool()> stop);

    // Runs test `index`; the result's suite is left 0.
    TestResult Run(size_t index);

private:
    // False when the test ends here (failed or stopped); the result says why.
    bool Steps(const std::vector<scenario::Step>& steps, TestResult& result);
    bool Send(const scenario::Step& step, const scenario::SendStep& send, TestResult& result);
    bool Expect(const scenario::Step& step, const scenario::ExpectStep& expect, TestResult& result);
    bool Repeat(const scenario::RepeatStep& repeat, TestResult& result);
    // Sleeps until `until` or a stop; false on a stop.
    bool SleepUntil(std::chrono::steady_clock::time_point until, TestResult& result);
    bool Stopped(TestResult& result);

    const scenario::Scenario& scenario_;
    ScriptLink& link_;
    std::function<bool()> stop_;
    std::vector<uint64_t> counters_;
};

// "250ms", "2s": a duration as the files write it.
std::string FormatDuration(uint32_t ms);

}  // namespace tarvu::cli
