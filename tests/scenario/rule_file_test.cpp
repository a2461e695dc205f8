#include "scenario/rule_file.h"

#include "scenario/responder.h"
#include "scenario_test_support.h"

#include <gtest/gtest.h>

namespace tarvu::scenario {
namespace {

using testing::Hex;

RuleSet Rules(const std::string& text) {
    RuleSet rules;
    SourceError error;
    EXPECT_TRUE(ParseRules("r.tvr", text, rules, error)) << FormatSourceError(error);
    return rules;
}

TEST(RuleFileTest, ReadsHeaderRulesFaultsAndPeriodicPackets) {
    const RuleSet rules = Rules(
        "listen 0\n"
        "key " +
        std::string(64, 'A') +
        "\n"
        "seed 42\n"
        "limit 500\n"
        "loss 1.5%\n"
        "on code=ca_RELOCK reply dev={dev} addr2=00 code=ma_RELOCK body={body} delay 20ms jitter "
        "5ms\n"
        "on 11 01 ?? 30 * echo duplicate 100%\n"
        "on dev=02 drop\n"
        "otherwise reply 11 00 00 30 10 C5 00 00 D1 corrupt 10%\n"
        "every 1s send 11 01 00 30 10 60 {n} 00 D1\n");
    EXPECT_EQ(rules.link.listen, 0);
    ASSERT_TRUE(rules.link.key);
    EXPECT_EQ((*rules.link.key)[31], 0xAA);
    EXPECT_EQ(rules.seed, 42u);
    EXPECT_EQ(rules.rateLimit, 500u);
    EXPECT_EQ(rules.faults.loss, 15'000u);
    ASSERT_EQ(rules.rules.size(), 3u);
    EXPECT_EQ(rules.rules[0].action, RuleAction::kReply);
    EXPECT_EQ(rules.rules[0].faults.delayMs, 20u);
    EXPECT_EQ(rules.rules[0].faults.jitterMs, 5u);
    EXPECT_EQ(rules.rules[0].faults.Over(rules.faults).loss, 15'000u) << "the statement's loss";
    EXPECT_EQ(rules.rules[1].action, RuleAction::kEcho);
    EXPECT_EQ(rules.rules[1].faults.duplicate, 1'000'000u);
    EXPECT_EQ(rules.rules[2].action, RuleAction::kDrop);
    EXPECT_EQ(rules.otherwise.line, 9u);
    EXPECT_EQ(rules.otherwise.action, RuleAction::kReply);
    ASSERT_EQ(rules.periodic.size(), 1u);
    EXPECT_EQ(rules.periodic[0].periodMs, 1000u);

    const RuleSet empty = Rules("# nothing but the default\n");
    EXPECT_EQ(empty.otherwise.action, RuleAction::kDrop);
    EXPECT_EQ(empty.rateLimit, kDefaultRateLimit);
}

TEST(RuleFileTest, EveryWrongInputNamesLineColumnAndText) {
    struct Wrong {
        const char* text;
        uint32_t line;
        uint32_t column;
        const char* message;
        const char* excerpt;
    };
    const Wrong cases[] = {
        {"onn 11 echo\n", 1, 1, "unknown statement", "onn"},
        {"on 11 01\n", 1, 9, "on PATTERN reply", ""},
        {"on reply 11\n", 1, 4, "no pattern", "reply"},
        {"on 11 reply\n", 1, 12, "no packet", ""},
        {"on 11 reply 12 delay\n", 1, 21, "duration", ""},
        {"on 11 reply 12 loss 200%\n", 1, 21, "percentage", "200%"},
        {"on 11 reply 12 loss 5% loss 6%\n", 1, 24, "twice", "loss"},
        {"on 11 drop delay 5ms\n", 1, 12, "nothing after drop", "delay 5ms"},
        {"on 11 echo slowly\n", 1, 12, "not a fault", "slowly"},
        {"on 11 reply {nn}\n", 1, 13, "placeholder", "{nn}"},
        {"otherwise echo\notherwise drop\n", 2, 1, "line 1", "otherwise"},
        {"otherwise\n", 1, 10, "reply PACKET, echo or drop", ""},
        {"every 0ms send 11\n", 1, 7, "at least 1ms", "0ms"},
        {"every 1s 11\n", 1, 10, "every T send", "11"},
        {"every 1s send {dev}\n", 1, 15, "rule's reply", "{dev}"},
        {"seed -1\n", 1, 6, "whole number", "-1"},
        {"limit 0\n", 1, 7, "from 1", "0"},
        {"delay 5ms 6ms\n", 1, 11, "one fault", "6ms"},
        {"jitter\n", 1, 7, "duration", ""},
        {"listen 70000\n", 1, 8, "65535", "70000"},
    };
    for (const Wrong& wrong : cases) {
        RuleSet rules;
        SourceError error;
        ASSERT_FALSE(ParseRules("r.tvr", wrong.text, rules, error)) << wrong.text;
        EXPECT_EQ(error.line, wrong.line) << wrong.text;
        EXPECT_EQ(error.column, wrong.column) << wrong.text << FormatSourceError(error);
        EXPECT_NE(error.message.find(wrong.message), std::string::npos)
            << wrong.text << " -> " << error.message;
        EXPECT_EQ(error.text, wrong.excerpt) << wrong.text;
    }
}

TEST(ResponderTest, FirstMatchWinsAndRepliesCountTheirSends) {
    const RuleSet rules = Rules(
        "on code=A3 reply 11 {dev} 00 30 10 C9 {n} {body}\n"
        "on dev=01 echo\n"
        "on dev=02 drop\n"
        "otherwise reply 11 00 00 30 10 C5 00 00 D1\n"
        "every 1s send 11 01 00 30 10 60 {n}\n");
    Responder responder(rules, 1);
    std::vector<PlannedSend> out;
    EXPECT_EQ(responder.OnPacket(Hex("11 05 00 30 10 A3 01 00 D1"), out), 0u);
    EXPECT_EQ(responder.OnPacket(Hex("11 01 00 30 10 A3 02"), out), 0u) << "before dev=01";
    EXPECT_EQ(responder.OnPacket(Hex("11 01 00 30 00"), out), 1u);
    EXPECT_EQ(responder.OnPacket(Hex("11 02 00 30 00"), out), 2u);
    EXPECT_EQ(responder.OnPacket(Hex("11 03 00 30 00"), out), responder.Otherwise());
    responder.OnPeriodic(0, out);
    responder.OnPeriodic(0, out);
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[0].packet, Hex("11 05 00 30 10 C9 00 01 00 D1"));
    EXPECT_EQ(out[1].packet, Hex("11 01 00 30 10 C9 01 02"));
    EXPECT_EQ(out[2].packet, Hex("11 01 00 30 00"));
    EXPECT_EQ(out[3].packet, Hex("11 00 00 30 10 C5 00 00 D1"));
    EXPECT_EQ(out[4].packet, Hex("11 01 00 30 10 60 00"));
    EXPECT_EQ(out[5].packet, Hex("11 01 00 30 10 60 01"));
    const std::vector<RuleCounts>& counts = responder.Counts();
    ASSERT_EQ(counts.size(), 5u);
    EXPECT_EQ(counts[0].matched, 2u);
    EXPECT_EQ(counts[2].matched, 1u);
    EXPECT_EQ(counts[2].sent, 0u);
    EXPECT_EQ(counts[3].sent, 1u);
    EXPECT_EQ(counts[4].sent, 2u);
    for (const PlannedSend& send : out) {
        EXPECT_EQ(send.delayMs, 0u);
        EXPECT_FALSE(send.reordered);
    }
    EXPECT_TRUE(out[0].selfAnswered) << "otherwise answers everything";
    EXPECT_FALSE(out[4].selfAnswered) << "every packets are never bounded";

    // Which replies these rules would answer again, so that two copies would bounce them.
    const RuleSet bouncing = Rules(
        "on code=A3 reply 11 {dev} 00 30 10 C9 {body}\n"
        "on dev=01 echo\n");
    Responder second(bouncing, 1);
    std::vector<PlannedSend> replies;
    second.OnPacket(Hex("11 05 00 30 10 A3 01"), replies);
    second.OnPacket(Hex("11 01 00 30 10 A3 01"), replies);
    second.OnPacket(Hex("11 01 00 30 00"), replies);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_FALSE(replies[0].selfAnswered) << "a C9 to dev 05 meets no rule";
    EXPECT_TRUE(replies[1].selfAnswered) << "a C9 to dev 01 meets the echo rule";
    EXPECT_TRUE(replies[2].selfAnswered) << "an echo meets the rule that echoed it";
}

TEST(ResponderTest, FaultsRepeatWithTheSeedAndKeepTheirBounds) {
    const RuleSet rules = Rules(
        "delay 50ms\n"
        "jitter 10ms\n"
        "on code=A3 echo loss 30% duplicate 30% reorder 30% corrupt 30%\n"
        "on code=A4 echo loss 100%\n"
        "otherwise echo corrupt 100% delay 0ms jitter 0ms\n");
    const std::vector<uint8_t> relock = Hex("11 01 00 30 10 A3 01 00 D1");
    const auto run = [&](uint64_t seed) {
        Responder responder(rules, seed);
        std::vector<PlannedSend> out;
        for (int i = 0; i < 1000; ++i) {
            responder.OnPacket(relock, out);
        }
        return std::make_pair(out, responder.Counts()[0]);
    };
    const auto [first, counts] = run(7);
    const auto [again, countsAgain] = run(7);
    ASSERT_EQ(first.size(), again.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].packet, again[i].packet);
        EXPECT_EQ(first[i].delayMs, again[i].delayMs);
        EXPECT_EQ(first[i].reordered, again[i].reordered);
    }
    EXPECT_NE(run(8).first.size() + run(9).first.size(), 2 * first.size())
        << "other seeds, other runs";
    // 30% each, over 1000 packets: well inside 200..400.
    EXPECT_GT(counts.lost, 200u);
    EXPECT_LT(counts.lost, 400u);
    EXPECT_GT(counts.duplicated, 150u) << "of those not lost";
    EXPECT_GT(counts.reordered, 150u);
    EXPECT_GT(counts.corrupted, 150u);
    EXPECT_EQ(counts.sent, first.size());
    EXPECT_EQ(counts.sent, 1000 - counts.lost + counts.duplicated);
    size_t changed = 0;
    for (const PlannedSend& send : first) {
        EXPECT_GE(send.delayMs, 40u);
        EXPECT_LE(send.delayMs, 60u);
        size_t bits = 0;
        for (size_t i = 0; i < relock.size(); ++i) {
            bits += static_cast<size_t>(__builtin_popcount(send.packet[i] ^ relock[i]));
        }
        EXPECT_LE(bits, 1u) << "corruption flips one bit";
        changed += bits;
    }
    EXPECT_GT(changed, 150u);

    Responder responder(rules, 1);
    std::vector<PlannedSend> out;
    responder.OnPacket(Hex("11 01 00 30 10 A4"), out);
    EXPECT_TRUE(out.empty()) << "loss 100%";
    responder.OnPacket(Hex("11 01 00 30 00"), out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NE(out[0].packet, Hex("11 01 00 30 00")) << "corrupt 100%";
    EXPECT_EQ(out[0].delayMs, 0u) << "the rule's own delay wins over the statement's";
}

}  // namespace
}  // namespace tarvu::scenario
