#include "platform/adapters.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

TEST(Adapters, ListsLoopbackWithItsMaskAndFlag) {
    std::vector<AdapterAddress> list = {AdapterAddress{"stale", {}, {}, false}};
    ASSERT_EQ(ListAdapterAddresses(&list), kAdaptersOk);
    bool sawLoopback = false;
    for (const AdapterAddress& a : list) {
        EXPECT_NE(a.adapter, "stale");
        if (a.address == std::array<uint8_t, 4>{127, 0, 0, 1}) {
            sawLoopback = true;
            EXPECT_TRUE(a.loopback);
            EXPECT_EQ(a.mask, (std::array<uint8_t, 4>{255, 0, 0, 0}));
        }
    }
    EXPECT_TRUE(sawLoopback);
}

}  // namespace
}  // namespace tarvu
