#include "platform/adapters.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

// The system's adapter list omits loopback; what it lists must come with plausible masks.
TEST(Adapters, ListsSystemAdaptersWithContiguousMasks) {
    std::vector<AdapterAddress> list = {AdapterAddress{"stale", {}, {}, false}};
    const int result = ListAdapterAddresses(&list);
    ASSERT_TRUE(result == kAdaptersOk || result == kAdaptersNone) << result;
    if (result == kAdaptersNone) {
        EXPECT_TRUE(list.empty());
        return;
    }
    for (const AdapterAddress& a : list) {
        EXPECT_NE(a.adapter, "stale");
        EXPECT_FALSE(a.adapter.empty());
        uint32_t mask = 0;
        for (uint8_t octet : a.mask) {
            mask = (mask << 8) | octet;
        }
        // Contiguous ones from the top: the complement plus one is a power of two.
        const uint32_t rest = ~mask;
        EXPECT_EQ(rest & (rest + 1), 0u) << a.adapter;
    }
}

}  // namespace
}  // namespace tarvu
