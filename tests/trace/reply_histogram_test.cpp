#include "trace/reply_histogram.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tarvu {
namespace {

TEST(ReplyHistogram, MoreThanFourBillionRepliesInOneMillisecondKeepTheirCount) {
    // About twelve hours of a 100,000-datagram flood answered within the same millisecond.
    ReplyHistogram replies;
    replies.Add(7, uint64_t{UINT32_MAX});
    replies.Add(7);
    replies.Add(900, 3);
    EXPECT_EQ(replies.Count(), uint64_t{UINT32_MAX} + 4);
    EXPECT_EQ(replies.Min(), 7u);
    EXPECT_EQ(replies.Max(), 900u);
    EXPECT_EQ(replies.Median(), 7u) << "a bucket wrapped around";
}

}  // namespace
}  // namespace tarvu
