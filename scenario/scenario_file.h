#pragma once
// Scenario files (tarvu-cli run): header statements, then tests of steps.
//
//   to 127.0.0.1:10002        header (see link_header.h), and
//   window 2s                 the default expectation window, 1 s when absent
//   test "poll answers"       a test; the steps below belong to it
//   send 11 01 00 30 00       bytes, or fields; {n} counts the sends of this statement
//   expect 11 01 ?? 30 * within 500ms
//   expect none within 1s     nothing may arrive in that time
//   wait 100ms
//   repeat 3 every 200ms      the steps up to end, three times, 200 ms apart
//   end
//
// The whole file is read into these records before anything runs.

#include "scenario/link_header.h"
#include "scenario/packet_builder.h"
#include "scenario/packet_pattern.h"
#include "scenario/source_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarvu::scenario {

constexpr uint32_t kDefaultWindowMs = 1000;
// Repeats nest at most this deep.
constexpr size_t kMaxRepeatDepth = 16;
// The longest packet the engine sends.
constexpr size_t kMaxPacketLength = 512;

struct SendStep {
    PacketBuilder packet;
    uint32_t counterSlot = 0;  // which of the scenario's counters {n} reads
};

struct ExpectStep {
    std::optional<PacketPattern> pattern;  // none: expect none
    std::optional<uint32_t> withinMs;      // none: the scenario's window
};

struct WaitStep {
    uint32_t ms = 0;
};

struct Step;

struct RepeatStep {
    uint64_t count = 1;
    std::optional<uint32_t> everyMs;
    std::vector<Step> steps;
};

struct Step {
    uint32_t line = 0;
    std::variant<SendStep, ExpectStep, WaitStep, RepeatStep> action;
};

struct ScenarioTest {
    std::string name;
    uint32_t line = 0;
    std::vector<Step> steps;
};

struct Scenario {
    std::string file;
    LinkSettings link;
    uint32_t windowMs = kDefaultWindowMs;
    std::vector<ScenarioTest> tests;
    uint32_t sendStatements = 0;  // the number of counters
};

// Reads a whole scenario. On failure fills `error` (the first error in the file).
bool ParseScenario(std::string_view file, std::string_view text, Scenario& out, SourceError& error);

}  // namespace tarvu::scenario
