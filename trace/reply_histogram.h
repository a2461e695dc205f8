#pragma once
// Reply times of a session, counted per millisecond, for their minimum, median and maximum.
// Memory stays bounded however many replies arrive: times beyond the last bucket count in it.

#include <cstdint>
#include <vector>

namespace tarvu {

class ReplyHistogram {
public:
    // Times are kept per millisecond up to this value; longer ones count as the longest.
    static constexpr uint32_t kBuckets = 65536;

    // Counts `times` replies of `ms` milliseconds.
    void Add(uint32_t ms, uint64_t times = 1);

    uint64_t Count() const { return count_; }
    // Exact, also beyond the last bucket. 0 while nothing was counted.
    uint32_t Min() const { return min_; }
    uint32_t Max() const { return max_; }
    // The middle time; for an even count the mean of the two middle ones. A middle time in the
    // last bucket is given as the maximum.
    uint32_t Median() const;

private:
    uint32_t AtRank(uint64_t rank) const;

    // Count per millisecond, allocated on first use. 64-bit: a flood of hours can put more than
    // 2^32 replies into one millisecond.
    std::vector<uint64_t> buckets_;
    uint64_t count_ = 0;
    uint32_t min_ = 0;
    uint32_t max_ = 0;
};

}  // namespace tarvu
