#pragma once
// The simulator's decisions, without any I/O: which rule answers a received packet, what the
// answer is, and what the faults do to it. The random draws come from a generator of our own,
// so a seed gives the same run on every system.

#include "scenario/rule_file.h"
#include "scenario/rule_index.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tarvu::scenario {

// SplitMix64: small, fast and fully specified.
class FaultRandom {
public:
    explicit FaultRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    // True with a chance of `partsPerMillion` in a million.
    bool Chance(uint32_t partsPerMillion);
    // Uniform in [0, bound); 0 for a bound of 0.
    uint64_t Below(uint64_t bound);

private:
    uint64_t state_;
};

// A packet to send: after `delayMs`; a reordered one waits until the next packet has left.
// `selfAnswered` marks a reply that these same rules would answer again (an echo, or a reply
// that matches a rule that answers): two simulators with this file would bounce it for ever,
// so such replies go through the file's limit.
struct PlannedSend {
    uint32_t delayMs = 0;
    bool reordered = false;
    bool selfAnswered = false;
    std::vector<uint8_t> packet;  // plain; the link encrypts and frames it
};

struct RuleCounts {
    uint64_t matched = 0;
    uint64_t sent = 0;  // packets planned, duplicates included
    uint64_t lost = 0;
    uint64_t duplicated = 0;
    uint64_t reordered = 0;
    uint64_t corrupted = 0;
};

class Responder {
public:
    // `rules` outlives the responder.
    Responder(const RuleSet& rules, uint64_t seed);

    // Appends what to send for the received plain packet; returns the rule that matched, or
    // Otherwise() when none did.
    size_t OnPacket(std::span<const uint8_t> packet, std::vector<PlannedSend>& out);
    // Appends the next packet of `every` statement `index`.
    void OnPeriodic(size_t index, std::vector<PlannedSend>& out);

    size_t Otherwise() const { return rules_.rules.size(); }
    // Counts of each rule, then of otherwise, then of each every statement.
    const std::vector<RuleCounts>& Counts() const { return counts_; }

private:
    void Plan(const Faults& faults, std::vector<uint8_t> packet, bool selfAnswered,
              RuleCounts& counts, std::vector<PlannedSend>& out);
    // True when these rules answer `packet` (a rule that replies or echoes, or such an
    // otherwise).
    bool Answers(std::span<const uint8_t> packet) const;

    const RuleSet& rules_;
    std::vector<const PacketPattern*> patterns_;
    RuleIndex index_;
    FaultRandom random_;
    std::vector<RuleCounts> counts_;
    std::vector<uint64_t> replyCounters_;  // {n} of each rule's reply, then otherwise's
    std::vector<uint64_t> periodicCounters_;
};

}  // namespace tarvu::scenario
