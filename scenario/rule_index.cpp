#include "scenario/rule_index.h"

namespace tarvu::scenario {

RuleIndex::RuleIndex(std::span<const PacketPattern* const> patterns)
    : patterns_(patterns.begin(), patterns.end()) {
    for (size_t i = 0; i < patterns_.size(); ++i) {
        const std::optional<int> key = patterns_[i]->CodeKey();
        for (int k = 0; k <= kNoCodeKey; ++k) {
            if (!key || *key == k) {
                candidates_[static_cast<size_t>(k)].push_back(static_cast<uint32_t>(i));
            }
        }
    }
}

size_t RuleIndex::FirstMatch(std::span<const uint8_t> packet) const {
    for (const uint32_t i : candidates_[static_cast<size_t>(PacketCodeKey(packet))]) {
        if (patterns_[i]->Matches(packet)) {
            return i;
        }
    }
    return kNoMatch;
}

}  // namespace tarvu::scenario
