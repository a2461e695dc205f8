#include "app/dotted_address.h"

#include <gtest/gtest.h>

namespace tarvu {
namespace {

TEST(DottedAddress, ReadsTheClassicFormsAndNothingElse) {
    EXPECT_EQ(DottedAddressOrNone("192.168.1.5"), (Octets{192, 168, 1, 5}));
    EXPECT_EQ(DottedAddressOrNone("127.1"), (Octets{127, 0, 0, 1}));
    EXPECT_EQ(DottedAddressOrNone("10.1.258"), (Octets{10, 1, 1, 2}));
    EXPECT_EQ(DottedAddressOrNone("0x7f.010.0.1 "), (Octets{127, 8, 0, 1}));
    EXPECT_EQ(DottedAddressOrNone("3232235777"), (Octets{192, 168, 1, 1}));
    for (const char* text : {"", "abc", "1.2.3.4.5", "256.1.1.1", "1.2.3.256", "1..2.3", "1.2.3.",
                             "09.1.1.1", "1.2.3.4x", "4294967296", " 1.2.3.4"}) {
        Octets out = {9, 9, 9, 9};
        EXPECT_FALSE(ParseDottedAddress(text, out)) << text;
        EXPECT_EQ(out, (Octets{9, 9, 9, 9})) << text;
        EXPECT_EQ(DottedAddressOrNone(text), (Octets{255, 255, 255, 255})) << text;
    }
}

TEST(DottedAddress, FormatsForTheSettingsAndTheAddressList) {
    EXPECT_EQ(FormatDottedAddress({10, 0, 0, 17}), "10.0.0.17");
    EXPECT_EQ(FormatAddressLine({192, 168, 1, 5}, {255, 255, 255, 0}),
              "192.168.001.005   255.255.255.000");
    EXPECT_EQ(FormatAddressLine({10, 0, 0, 17}, {255, 0, 0, 0}),
              "010.000.000.017   255.000.000.000");
}

}  // namespace
}  // namespace tarvu
