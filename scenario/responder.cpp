#include "scenario/responder.h"

namespace tarvu::scenario {

uint64_t FaultRandom::Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool FaultRandom::Chance(uint32_t partsPerMillion) {
    return partsPerMillion != 0 && Next() % 1'000'000 < partsPerMillion;
}

uint64_t FaultRandom::Below(uint64_t bound) {
    return bound == 0 ? 0 : Next() % bound;
}

Responder::Responder(const RuleSet& rules, uint64_t seed)
    : rules_(rules),
      random_(seed),
      counts_(rules.rules.size() + 1 + rules.periodic.size()),
      replyCounters_(rules.rules.size() + 1),
      periodicCounters_(rules.periodic.size()) {
    patterns_.reserve(rules.rules.size());
    for (const Rule& rule : rules.rules) {
        patterns_.push_back(&rule.pattern);
    }
    index_ = RuleIndex(patterns_);
}

size_t Responder::OnPacket(std::span<const uint8_t> packet, std::vector<PlannedSend>& out) {
    size_t matched = index_.FirstMatch(packet);
    RuleAction action = rules_.otherwise.action;
    const PacketBuilder* reply = &rules_.otherwise.reply;
    const Faults* faults = &rules_.otherwise.faults;
    if (matched == RuleIndex::kNoMatch) {
        matched = Otherwise();
    } else {
        const Rule& rule = rules_.rules[matched];
        action = rule.action;
        reply = &rule.reply;
        faults = &rule.faults;
    }
    RuleCounts& counts = counts_[matched];
    ++counts.matched;
    if (action == RuleAction::kDrop) {
        return matched;
    }
    std::vector<uint8_t> bytes;
    if (action == RuleAction::kEcho) {
        bytes.assign(packet.begin(), packet.end());
    } else {
        reply->Build(replyCounters_[matched]++, packet, bytes);
    }
    const bool selfAnswered = Answers(bytes);
    Plan(faults->Over(rules_.faults), std::move(bytes), selfAnswered, counts, out);
    return matched;
}

bool Responder::Answers(std::span<const uint8_t> packet) const {
    const size_t rule = index_.FirstMatch(packet);
    const RuleAction action =
        rule == RuleIndex::kNoMatch ? rules_.otherwise.action : rules_.rules[rule].action;
    return action != RuleAction::kDrop;
}

void Responder::OnPeriodic(size_t index, std::vector<PlannedSend>& out) {
    std::vector<uint8_t> bytes;
    rules_.periodic[index].packet.Build(periodicCounters_[index]++, {}, bytes);
    Plan(rules_.faults, std::move(bytes), false, counts_[Otherwise() + 1 + index], out);
}

void Responder::Plan(const Faults& faults, std::vector<uint8_t> packet, bool selfAnswered,
                     RuleCounts& counts, std::vector<PlannedSend>& out) {
    // Every fault draws each time, so one fault's chance does not shift another's sequence.
    const bool lost = random_.Chance(faults.loss.value_or(0));
    const bool corrupt = random_.Chance(faults.corrupt.value_or(0));
    const bool duplicate = random_.Chance(faults.duplicate.value_or(0));
    const bool reorder = random_.Chance(faults.reorder.value_or(0));
    const uint64_t bitDraw = random_.Next();
    const uint32_t jitter = faults.jitterMs.value_or(0);
    const uint64_t jitterDraw = random_.Below(2ull * jitter + 1);
    if (lost) {
        ++counts.lost;
        return;
    }
    if (corrupt && !packet.empty()) {
        const uint64_t bit = bitDraw % (packet.size() * 8);
        packet[bit / 8] = static_cast<uint8_t>(packet[bit / 8] ^ (1u << (bit % 8)));
        ++counts.corrupted;
    }
    // The jitter spreads the delay both ways; a delay never goes below zero.
    const int64_t delay =
        int64_t{faults.delayMs.value_or(0)} + static_cast<int64_t>(jitterDraw) - jitter;
    PlannedSend send;
    send.delayMs = static_cast<uint32_t>(delay < 0 ? 0 : delay);
    send.reordered = reorder;
    send.selfAnswered = selfAnswered;
    if (reorder) {
        ++counts.reordered;
    }
    send.packet = std::move(packet);
    if (duplicate) {
        ++counts.duplicated;
        ++counts.sent;
        out.push_back(send);
    }
    ++counts.sent;
    out.push_back(std::move(send));
}

}  // namespace tarvu::scenario
