// Any text as a simulator's rule file. A file that is refused names a line, a column and a
// message on one line; a file that is read answers any packet (the text's own bytes, and a few
// usual ones) with what the first matching rule says, found through the rule index exactly as
// trying every rule in order finds it, and never with more than two packets.

#include "fuzz/fuzz_check.h"
#include "scenario/responder.h"
#include "scenario/rule_file.h"
#include "scenario/values.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvu::scenario;
    const std::string text(reinterpret_cast<const char*>(data), size);
    RuleSet rules;
    SourceError error;
    if (!ParseRules("f.rules", text, rules, error)) {
        FUZZ_CHECK(error.line >= 1 && error.column >= 1 && !error.message.empty());
        FUZZ_CHECK(FormatSourceError(error).find('\n') == std::string::npos);
        return 0;
    }
    std::vector<const PacketPattern*> patterns;
    for (const Rule& rule : rules.rules) {
        patterns.push_back(&rule.pattern);
    }
    const RuleIndex index(patterns);
    Responder responder(rules, 1);
    const std::vector<std::vector<uint8_t>> packets = {
        std::vector<uint8_t>(data, data + size),
        {},
        {0x11, 0x01, 0x00, 0x30, 0x00},
        {0x11, 0x01, 0x00, 0x30, 0x10, 0xA3, 0x01, 0x00, 0xD1},
        {0x91, 0x01, 0x00, 0x12, 0x34},
        {0x21, 0x34, 0x12, 0x05, 0x30, 0x10},
    };
    for (const std::vector<uint8_t>& packet : packets) {
        size_t linear = RuleIndex::kNoMatch;
        for (size_t i = 0; i < rules.rules.size() && linear == RuleIndex::kNoMatch; ++i) {
            if (rules.rules[i].pattern.Matches(packet)) {
                linear = i;
            }
        }
        FUZZ_CHECK(index.FirstMatch(packet) == linear);
        std::vector<PlannedSend> planned;
        const size_t matched = responder.OnPacket(packet, planned);
        FUZZ_CHECK(matched == (linear == RuleIndex::kNoMatch ? responder.Otherwise() : linear));
        FUZZ_CHECK(planned.size() <= 2);
        for (const PlannedSend& send : planned) {
            FUZZ_CHECK(send.delayMs <= 2 * kMaxDurationMs);
        }
    }
    for (size_t i = 0; i < rules.periodic.size(); ++i) {
        std::vector<PlannedSend> planned;
        responder.OnPeriodic(i, planned);
        FUZZ_CHECK(planned.size() <= 2);
    }
    return 0;
}
