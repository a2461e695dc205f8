#include "app/cli/scenario_runner.h"

#include "link/hex_text.h"

#include <thread>

namespace tarvu::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How long one sleep lasts before the stop request is looked at again.
constexpr auto kStopPoll = std::chrono::milliseconds(50);

std::string ExpectedText(const scenario::ExpectStep& expect) {
    return expect.pattern ? expect.pattern->text : "none";
}

}  // namespace

std::string FormatDuration(uint32_t ms) {
    return ms % 1000 == 0 && ms != 0 ? std::to_string(ms / 1000) + "s" : std::to_string(ms) + "ms";
}

ScenarioRunner::ScenarioRunner(const scenario::Scenario& scenario, ScriptLink& link,
                               std::function<bool()> stop)
    : scenario_(scenario),
      link_(link),
      stop_(std::move(stop)),
      counters_(scenario.sendStatements, 0) {
}

TestResult ScenarioRunner::Run(size_t index) {
    const scenario::ScenarioTest& test = scenario_.tests[index];
    TestResult result;
    result.file = scenario_.file;
    result.name = test.name;
    result.line = test.line;
    const SteadyClock::time_point start = SteadyClock::now();
    // Late replies to the test before are not this test's.
    link_.Discard();
    if (Steps(test.steps, result)) {
        result.outcome = TestOutcome::kPassed;
    }
    result.seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    return result;
}

bool ScenarioRunner::Stopped(TestResult& result) {
    if (!stop_()) {
        return false;
    }
    result.outcome = TestOutcome::kFailed;
    result.message = "interrupted";
    return true;
}

bool ScenarioRunner::SleepUntil(SteadyClock::time_point until, TestResult& result) {
    while (SteadyClock::now() < until) {
        if (Stopped(result)) {
            return false;
        }
        std::this_thread::sleep_until(std::min(until, SteadyClock::now() + kStopPoll));
    }
    return !Stopped(result);
}

bool ScenarioRunner::Steps(const std::vector<scenario::Step>& steps, TestResult& result) {
    for (const scenario::Step& step : steps) {
        if (Stopped(result)) {
            return false;
        }
        bool ok = true;
        if (const auto* send = std::get_if<scenario::SendStep>(&step.action)) {
            ok = Send(step, *send, result);
        } else if (const auto* expect = std::get_if<scenario::ExpectStep>(&step.action)) {
            ok = Expect(step, *expect, result);
        } else if (const auto* wait = std::get_if<scenario::WaitStep>(&step.action)) {
            ok = SleepUntil(SteadyClock::now() + std::chrono::milliseconds(wait->ms), result);
        } else {
            ok = Repeat(std::get<scenario::RepeatStep>(step.action), result);
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool ScenarioRunner::Send(const scenario::Step& step, const scenario::SendStep& send,
                          TestResult& result) {
    std::vector<uint8_t> packet;
    send.packet.Build(counters_[send.counterSlot]++, {}, packet);
    std::string error;
    if (link_.Send(packet, error)) {
        return true;
    }
    result.outcome = TestOutcome::kFailed;
    result.failedLine = step.line;
    result.message =
        "line " + std::to_string(step.line) + ": " + FormatHexBytes(packet) + " not sent: " + error;
    return false;
}

bool ScenarioRunner::Repeat(const scenario::RepeatStep& repeat, TestResult& result) {
    const SteadyClock::time_point start = SteadyClock::now();
    for (uint64_t k = 0; k < repeat.count; ++k) {
        if (repeat.everyMs && k > 0) {
            // Each round starts at start + k * every, however long the rounds before took.
            const auto due =
                start + std::chrono::milliseconds(*repeat.everyMs) * static_cast<int64_t>(k);
            if (!SleepUntil(due, result)) {
                return false;
            }
        }
        if (!Steps(repeat.steps, result)) {
            return false;
        }
    }
    return true;
}

bool ScenarioRunner::Expect(const scenario::Step& step, const scenario::ExpectStep& expect,
                            TestResult& result) {
    const uint32_t windowMs = expect.withinMs.value_or(scenario_.windowMs);
    const int64_t deadline = SystemMicros() + int64_t{windowMs} * 1000;
    const SteadyClock::time_point steadyDeadline =
        SteadyClock::now() + std::chrono::milliseconds(windowMs);
    std::vector<std::string> skipped;
    size_t skippedCount = 0;
    bool matched = false;
    std::string unexpected;  // for expect none: the packet that came
    const SteadyClock::time_point end = steadyDeadline + kArrivalGrace;
    // Past the window's end only a link still busy with a send may hold packets that arrived
    // in time.
    const auto mayStillCome = [&](SteadyClock::time_point now) {
        return now < end || (link_.Busy() && now < steadyDeadline + kBusyGrace);
    };
    for (;;) {
        const SteadyClock::time_point now = SteadyClock::now();
        const SteadyClock::time_point until = now < end           ? end
                                              : mayStillCome(now) ? now + kArrivalGrace
                                                                  : now;
        ArrivedPacket packet;
        if (link_.WaitFront(until, packet)) {
            if (packet.arrivalMicros > deadline) {
                break;  // after the window: left for the steps that follow
            }
            link_.PopFront();
            if (!expect.pattern) {
                unexpected = FormatHexBytes(packet.packet);
                break;
            }
            if (expect.pattern->Matches(packet.packet)) {
                matched = true;
                break;
            }
            if (skipped.size() < kPacketsNamed) {
                skipped.push_back(FormatHexBytes(packet.packet));
            }
            ++skippedCount;
            continue;
        }
        if (Stopped(result)) {
            result.failedLine = step.line;
            return false;
        }
        if (!mayStillCome(SteadyClock::now())) {
            break;
        }
    }
    if (!expect.pattern) {
        if (unexpected.empty()) {
            return true;
        }
        result.outcome = TestOutcome::kFailed;
        result.failedLine = step.line;
        result.expected = "none";
        result.got = unexpected;
        result.message = "line " + std::to_string(step.line) + ": expected none within " +
                         FormatDuration(windowMs) + ", received " + unexpected;
        return false;
    }
    if (matched) {
        return true;
    }
    result.outcome = TestOutcome::kFailed;
    result.failedLine = step.line;
    result.expected = ExpectedText(expect);
    std::string got;
    for (const std::string& packet : skipped) {
        got += (got.empty() ? "" : "; ") + packet;
    }
    if (skippedCount > skipped.size()) {
        got += " and " + std::to_string(skippedCount - skipped.size()) + " more";
    }
    result.got = got;
    result.message = "line " + std::to_string(step.line) + ": expected " + result.expected +
                     " within " + FormatDuration(windowMs) + ", received " +
                     (got.empty() ? "nothing" : got);
    return false;
}

}  // namespace tarvu::cli
