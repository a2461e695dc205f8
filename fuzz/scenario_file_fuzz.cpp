// Any text as a scenario file. A file that is refused names a line of the text, a column from
// 1 and a message on one line; a file that is read builds every packet within the engine's
// limit, and its patterns take any packet.

#include "fuzz/fuzz_check.h"
#include "scenario/scenario_file.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tarvu::scenario;

void Walk(const std::vector<Step>& steps, std::vector<uint64_t>& counters,
          std::span<const uint8_t> sample, size_t depth) {
    FUZZ_CHECK(depth <= kMaxRepeatDepth);
    for (const Step& step : steps) {
        if (const auto* send = std::get_if<SendStep>(&step.action)) {
            FUZZ_CHECK(send->counterSlot < counters.size());
            std::vector<uint8_t> bytes;
            send->packet.Build(counters[send->counterSlot]++, {}, bytes);
            FUZZ_CHECK(!bytes.empty() && bytes.size() <= kMaxPacketLength);
        } else if (const auto* expect = std::get_if<ExpectStep>(&step.action)) {
            if (expect->pattern) {
                expect->pattern->Matches(sample);
                expect->pattern->Matches({});
            }
        } else if (const auto* repeat = std::get_if<RepeatStep>(&step.action)) {
            FUZZ_CHECK(repeat->count >= 1);
            Walk(repeat->steps, counters, sample, depth + 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Scenario scenario;
    SourceError error;
    if (!ParseScenario("f.scenario", text, scenario, error)) {
        size_t lines = 1;
        for (const char c : text) {
            lines += c == '\n';
        }
        FUZZ_CHECK(error.file == "f.scenario");
        FUZZ_CHECK(error.line >= 1 && error.line <= lines);
        FUZZ_CHECK(error.column >= 1);
        FUZZ_CHECK(!error.message.empty());
        FUZZ_CHECK(FormatSourceError(error).find('\n') == std::string::npos);
        return 0;
    }
    FUZZ_CHECK(!scenario.tests.empty());
    std::vector<uint64_t> counters(scenario.sendStatements, 0);
    for (const ScenarioTest& test : scenario.tests) {
        FUZZ_CHECK(!test.name.empty() && test.line >= 1);
        Walk(test.steps, counters, std::span<const uint8_t>(data, size), 0);
    }
    return 0;
}
