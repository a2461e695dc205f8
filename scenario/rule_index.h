#pragma once
// First-match lookup over an ordered list of patterns without trying every one: patterns that
// pin the message code (code=A3, or bytes that fix the length, type, qualifier and code bytes)
// are filed under that code, and a packet is tried only against the patterns of its own code
// and those that pin none, still in list order.

#include "scenario/packet_pattern.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvu::scenario {

class RuleIndex {
public:
    static constexpr size_t kNoMatch = SIZE_MAX;

    RuleIndex() = default;
    // `patterns` must outlive the index.
    explicit RuleIndex(std::span<const PacketPattern* const> patterns);

    // The position of the first pattern that matches, or kNoMatch.
    size_t FirstMatch(std::span<const uint8_t> packet) const;

private:
    std::vector<const PacketPattern*> patterns_;
    // For each code key (256: no code), the patterns to try, in list order.
    std::array<std::vector<uint32_t>, kNoCodeKey + 1> candidates_;
};

}  // namespace tarvu::scenario
