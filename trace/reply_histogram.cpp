#include "trace/reply_histogram.h"

#include <algorithm>

namespace tarvu {

void ReplyHistogram::Add(uint32_t ms, uint64_t times) {
    if (times == 0) {
        return;
    }
    if (buckets_.empty()) {
        buckets_.assign(kBuckets, 0);
        min_ = ms;
        max_ = ms;
    }
    buckets_[std::min(ms, kBuckets - 1)] += times;
    count_ += times;
    min_ = std::min(min_, ms);
    max_ = std::max(max_, ms);
}

uint32_t ReplyHistogram::AtRank(uint64_t rank) const {
    uint64_t seen = 0;
    for (uint32_t ms = 0; ms < buckets_.size(); ++ms) {
        seen += buckets_[ms];
        if (seen > rank) {
            // The last bucket holds every longer time; the maximum is the best figure for it.
            return ms == kBuckets - 1 ? max_ : ms;
        }
    }
    return max_;
}

uint32_t ReplyHistogram::Median() const {
    if (count_ == 0) {
        return 0;
    }
    const uint64_t low = AtRank((count_ - 1) / 2);
    const uint64_t high = AtRank(count_ / 2);
    return static_cast<uint32_t>((low + high) / 2);
}

}  // namespace tarvu
