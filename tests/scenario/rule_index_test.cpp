#include "scenario/rule_index.h"

#include "scenario_test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace tarvu::scenario {
namespace {

using testing::OneLine;

PacketPattern Pattern(const std::string& text) {
    OneLine one("on " + text);
    PacketPattern pattern;
    Failure failure;
    EXPECT_TRUE(ParsePacketPattern(one.line, 1, one.line.tokens.size(), pattern, failure))
        << text << ": " << failure.message;
    return pattern;
}

// Random patterns and packets drawn from a small alphabet, so that they often match, and
// packets with and without codes, short, encrypted and oddly addressed turn up.
std::string RandomPattern(std::mt19937& rng) {
    static const char* kBytes[] = {"11", "10", "21", "00", "91", "01", "02", "30", "31",
                                   "40", "10", "00", "A3", "C9", "??", "3?", "?0", "A?"};
    static const char* kFields[] = {"dev=01",  "dev=02",  "dev=-",     "addr2=00", "type=30",
                                    "type=3?", "type=40", "qual=10",   "qual=00",  "code=A3",
                                    "code=C9", "code=A?", "body=01 *", "body=-",   "body=?? ??"};
    std::string text;
    if (rng() % 2 == 0) {
        const size_t n = 1 + rng() % 7;
        for (size_t i = 0; i < n; ++i) {
            text += std::string(kBytes[rng() % std::size(kBytes)]) + " ";
        }
        if (rng() % 2 == 0) {
            text += "*";
        }
    } else {
        bool used[std::size(kFields)] = {};
        const size_t n = 1 + rng() % 3;
        for (size_t i = 0; i < n; ++i) {
            const size_t f = rng() % std::size(kFields);
            // One of each field name at most.
            const std::string name = std::string(kFields[f]).substr(0, 3);
            bool taken = false;
            for (size_t g = 0; g < std::size(kFields); ++g) {
                taken = taken || (used[g] && std::string(kFields[g]).substr(0, 3) == name);
            }
            if (!taken) {
                used[f] = true;
                text += std::string(kFields[f]) + " ";
            }
        }
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

std::vector<uint8_t> RandomPacket(std::mt19937& rng) {
    static const uint8_t kBytes[] = {0x11, 0x10, 0x21, 0x00, 0x91, 0x01, 0x02, 0x30,
                                     0x31, 0x40, 0x10, 0xA3, 0xC9, 0xD1, 0x3F, 0xA0};
    std::vector<uint8_t> packet(rng() % 10);
    for (uint8_t& b : packet) {
        b = kBytes[rng() % std::size(kBytes)];
    }
    return packet;
}

TEST(RuleIndexTest, FindsWhatTryingEveryRuleInOrderFinds) {
    std::mt19937 rng(20);
    for (int round = 0; round < 200; ++round) {
        std::vector<PacketPattern> patterns;
        const size_t count = 1 + rng() % 30;
        for (size_t i = 0; i < count; ++i) {
            patterns.push_back(Pattern(RandomPattern(rng)));
        }
        std::vector<const PacketPattern*> pointers;
        for (const PacketPattern& p : patterns) {
            pointers.push_back(&p);
        }
        const RuleIndex index(pointers);
        for (int k = 0; k < 200; ++k) {
            const std::vector<uint8_t> packet = RandomPacket(rng);
            size_t linear = RuleIndex::kNoMatch;
            for (size_t i = 0; i < patterns.size() && linear == RuleIndex::kNoMatch; ++i) {
                if (patterns[i].Matches(packet)) {
                    linear = i;
                }
            }
            ASSERT_EQ(index.FirstMatch(packet), linear)
                << "round " << round << ", rule " << linear << ": "
                << (linear != RuleIndex::kNoMatch ? patterns[linear].text : "") << ", packet "
                << FormatHexBytes(packet);
        }
    }
}

TEST(RuleIndexTest, ACatchAllBeforeACodeRuleStillWinsByOrder) {
    const std::vector<PacketPattern> patterns = {Pattern("code=A3"), Pattern("dev=01"),
                                                 Pattern("code=C9")};
    const std::vector<const PacketPattern*> pointers = {&patterns[0], &patterns[1], &patterns[2]};
    const RuleIndex index(pointers);
    EXPECT_EQ(index.FirstMatch(testing::Hex("11 01 00 30 10 C9")), 1u);
    EXPECT_EQ(index.FirstMatch(testing::Hex("11 02 00 30 10 C9")), 2u);
    EXPECT_EQ(index.FirstMatch(testing::Hex("11 01 00 30 10 A3")), 0u);
    EXPECT_EQ(index.FirstMatch(testing::Hex("11 02 00 30 00")), RuleIndex::kNoMatch);
}

}  // namespace
}  // namespace tarvu::scenario
