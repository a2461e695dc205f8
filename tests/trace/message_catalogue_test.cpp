#include "trace/message_catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace tarvu {
namespace {

TEST(MessageCatalogue, Holds155NamedCodesAndExactlyTheListedGaps) {
    EXPECT_EQ(CatalogueEntries().size(), 155u);
    std::map<std::string, int> uses;
    for (const CatalogueEntry& entry : CatalogueEntries()) {
        ++uses[entry.name];
    }
    for (const auto& [name, count] : uses) {
        EXPECT_EQ(count, name == "ma_VERSION_2" ? 2 : 1) << name;
    }
    const std::pair<uint32_t, uint32_t> gaps[] = {
        {0x01, 0x17}, {0x1B, 0x20}, {0x2F, 0x30}, {0x32, 0x3A}, {0x3D, 0x3D},
        {0x3F, 0x3F}, {0x49, 0x51}, {0x54, 0x5D}, {0x5F, 0x5F}, {0x67, 0x67},
        {0x6A, 0x6E}, {0x70, 0x80}, {0x8E, 0x90}, {0x92, 0x92}, {0x94, 0x94},
        {0x9E, 0x9E}, {0xA9, 0xA9}, {0xAD, 0xAD}, {0xAF, 0xAF}, {0xCB, 0xCB},
        {0xE0, 0xE0}, {0xEA, 0xEC}, {0xEF, 0xEF}, {0xF4, 0xF4}, {0xFD, 0xFE}};
    std::set<uint32_t> unnamed;
    for (const auto& [from, to] : gaps) {
        for (uint32_t code = from; code <= to; ++code) {
            unnamed.insert(code);
        }
    }
    for (uint32_t code = 0; code <= 0xFF; ++code) {
        EXPECT_EQ(FindCodeName(code) == nullptr, unnamed.count(code) == 1) << std::hex << code;
    }
}

TEST(MessageCatalogue, PrintsCodesAndParametersInHexWithTheirNames) {
    EXPECT_EQ(DescribeCode(0x21), "21(ma_ALARM)");
    EXPECT_EQ(DescribeCode(0x00), "00(ma_NONE)");
    EXPECT_EQ(DescribeCode(0xE1), "E1(ma_UNKNOWN)");
    EXPECT_EQ(DescribeCode(0x01), "01(? ? ?)");
    EXPECT_EQ(DescribeCode(0xC3), "C3(ma_VERSION_2)");
    EXPECT_EQ(DescribeCode(0xE3), "E3(ma_VERSION_2)");
    EXPECT_EQ(DescribeCode(0x66), "66(ma_RESET_ALARM_KTS\t)");
    EXPECT_EQ(DescribeCode(0x300), "300(ma_CHANGE_IP)");
    EXPECT_EQ(DescribeCode(0x301), "301(ma_MAC)");
    EXPECT_EQ(DescribeCode(0x302), "302(? ? ?)");
    EXPECT_EQ(DescribeCode(0xFFFFFFFF), "FFFFFFFF(? ? ?)");
    EXPECT_EQ(DescribeCode(0x1A), "1A(Набор кода для взятия КЕБ)");
    EXPECT_EQ(DescribeParameter(0x9D), "9D(PARAM_LOST_ACCUM_R)");
    EXPECT_EQ(DescribeParameter(0x9E), "9E(PARAM_LOST_ACCUM)");
    EXPECT_EQ(DescribeParameter(0xCE), "CE(PARAM_RELAX_ACCUM)");
    EXPECT_EQ(DescribeParameter(0xEE), "EE(PARAM_SUBST)");
    EXPECT_EQ(DescribeParameter(0x9C), "9C");
    EXPECT_EQ(DescribeParameter(0x0F), "0F");
}

}  // namespace
}  // namespace tarvu
