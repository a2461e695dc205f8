#pragma once
// Rule files (tarvu-cli simulate): the header statements of link_header.h, then rules tried in
// order, first match wins.
//
//   on PATTERN reply PACKET [FAULTS]   answer; the reply may copy {dev}, {body}, ... of the packet
//   on PATTERN echo [FAULTS]           send the packet back as it came
//   on PATTERN drop                    no answer
//   otherwise echo|drop|reply PACKET [FAULTS]   what no rule matched (default: drop)
//   every T send PACKET                unsolicited packets to the last sender
//   seed N                             the faults' random draws repeat from run to run
//   limit N                            at most N replies a second that this file would answer
//                                      itself (default 1000; see kDefaultRateLimit)
//   delay T, jitter T, loss P%, duplicate P%, reorder P%, corrupt P%
//                                      faults: as a statement of their own for every packet that
//                                      leaves, after a rule for its replies (the rule's own win)

#include "scenario/link_header.h"
#include "scenario/packet_builder.h"
#include "scenario/packet_pattern.h"
#include "scenario/source_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvu::scenario {

// Replies a second that the file's own rules would answer again (echoes, replies that match a
// rule that answers), without a limit statement. Two simulators of such a file bounce every
// such reply back and forth for ever; this bound keeps them from flooding the machine (and a
// duplicate fault from multiplying the packets). Replies the file would not answer itself go
// out as fast as they come.
constexpr uint32_t kDefaultRateLimit = 1'000;

struct Faults {
    std::optional<uint32_t> delayMs;
    std::optional<uint32_t> jitterMs;
    // Chances in parts per million.
    std::optional<uint32_t> loss;
    std::optional<uint32_t> duplicate;
    std::optional<uint32_t> reorder;
    std::optional<uint32_t> corrupt;

    // These faults where given, `base` where not.
    Faults Over(const Faults& base) const;
    bool Any() const;
};

enum class RuleAction { kReply, kEcho, kDrop };

struct Rule {
    uint32_t line = 0;
    PacketPattern pattern;
    RuleAction action = RuleAction::kDrop;
    PacketBuilder reply;  // kReply only
    Faults faults;
};

struct Fallback {
    uint32_t line = 0;  // 0: not given (drop)
    RuleAction action = RuleAction::kDrop;
    PacketBuilder reply;
    Faults faults;
};

struct Periodic {
    uint32_t line = 0;
    uint32_t periodMs = 0;
    PacketBuilder packet;  // {n} counts this statement's sends
};

struct RuleSet {
    std::string file;
    LinkSettings link;
    std::optional<uint64_t> seed;
    uint32_t rateLimit = kDefaultRateLimit;
    Faults faults;  // for every packet that leaves
    std::vector<Rule> rules;
    Fallback otherwise;
    std::vector<Periodic> periodic;
};

// Reads a whole rule file; on failure fills `error` (the first error in the file).
bool ParseRules(std::string_view file, std::string_view text, RuleSet& out, SourceError& error);

}  // namespace tarvu::scenario
