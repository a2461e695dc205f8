#include "scenario/scenario_file.h"

#include "scenario_test_support.h"

#include <gtest/gtest.h>

namespace tarvu::scenario {
namespace {

using testing::Hex;

TEST(ScenarioFileTest, ReadsHeaderTestsAndNestedSteps) {
    const std::string text =
        "\xEF\xBB\xBF# desk check\n"
        "to 127.0.0.1:10002\r\n"
        "listen 10001   # our side\n"
        "frame on\n"
        "window 1.5s\n"
        "\n"
        "test \"опрос \\\"1\\\"\"\n"
        "  send 11 01 00 30 {n}\n"
        "  expect 11 01 ?? 30 * within 500ms\n"
        "  repeat 3 every 200ms\n"
        "    repeat 2\n"
        "      send dev=01 code=ca_RELOCK body=01 00 D1\n"
        "      wait 10ms\n"
        "    end\n"
        "    expect none within 1s\n"
        "  end\n"
        "test \"second\"\n"
        "  expect code=C9\n";
    Scenario scenario;
    SourceError error;
    ASSERT_TRUE(ParseScenario("desk.tvs", text, scenario, error)) << FormatSourceError(error);
    EXPECT_EQ(scenario.file, "desk.tvs");
    ASSERT_TRUE(scenario.link.to);
    EXPECT_EQ(scenario.link.to->port, 10002);
    EXPECT_EQ(scenario.link.to->address, Hex("7F000001")[0] | 1u << 24);
    EXPECT_EQ(scenario.link.listen, 10001);
    EXPECT_EQ(scenario.link.frame, true);
    EXPECT_FALSE(scenario.link.key);
    EXPECT_EQ(scenario.windowMs, 1500u);
    EXPECT_EQ(scenario.sendStatements, 2u);
    ASSERT_EQ(scenario.tests.size(), 2u);

    const ScenarioTest& first = scenario.tests[0];
    EXPECT_EQ(first.name, "опрос \"1\"");
    EXPECT_EQ(first.line, 7u);
    ASSERT_EQ(first.steps.size(), 3u);
    EXPECT_EQ(std::get<SendStep>(first.steps[0].action).counterSlot, 0u);
    const auto& expect = std::get<ExpectStep>(first.steps[1].action);
    EXPECT_EQ(expect.withinMs, 500u);
    ASSERT_TRUE(expect.pattern);
    EXPECT_EQ(expect.pattern->text, "11 01 ?? 30 *");
    const auto& repeat = std::get<RepeatStep>(first.steps[2].action);
    EXPECT_EQ(repeat.count, 3u);
    EXPECT_EQ(repeat.everyMs, 200u);
    ASSERT_EQ(repeat.steps.size(), 2u);
    const auto& inner = std::get<RepeatStep>(repeat.steps[0].action);
    EXPECT_EQ(inner.count, 2u);
    EXPECT_FALSE(inner.everyMs);
    ASSERT_EQ(inner.steps.size(), 2u);
    EXPECT_EQ(std::get<SendStep>(inner.steps[0].action).counterSlot, 1u);
    EXPECT_EQ(std::get<WaitStep>(inner.steps[1].action).ms, 10u);
    EXPECT_EQ(inner.steps[1].line, 13u);
    const auto& none = std::get<ExpectStep>(repeat.steps[1].action);
    EXPECT_FALSE(none.pattern);
    EXPECT_EQ(none.withinMs, 1000u);

    const auto& second = std::get<ExpectStep>(scenario.tests[1].steps[0].action);
    EXPECT_FALSE(second.withinMs) << "the scenario's window applies";
}

struct WrongInput {
    const char* text;
    uint32_t line;
    uint32_t column;
    const char* message;  // a part of the message
    const char* excerpt;  // the offending text
};

TEST(ScenarioFileTest, EveryWrongInputNamesLineColumnAndText) {
    const WrongInput cases[] = {
        {"test \"a\"\n  sned 11\n", 2, 3, "unknown statement", "sned"},
        {"send 11 01\n", 1, 1, "belongs to a test", "send"},
        {"test \"a\"\nto 1.2.3.4:5\n", 2, 1, "before the first test", "to"},
        {"to 1.2.3:5\ntest \"a\"\n", 1, 4, "IPv4", "1.2.3"},
        {"to 1.2.3.4:70000\ntest \"a\"\n", 1, 12, "port", "70000"},
        {"to 1.2.3.4\ntest \"a\"\n", 1, 4, "ADDRESS:PORT", "1.2.3.4"},
        {"listen 0\ntest \"a\"\n", 1, 8, "from 1 to 65535", "0"},
        {"frame yes\ntest \"a\"\n", 1, 7, "on or off", "yes"},
        {"key 00 11\ntest \"a\"\n", 1, 5, "64 hex digits", "00 11"},
        {"window 2\ntest \"a\"\n", 1, 8, "unit", "2"},
        {"window 2s\nwindow 3s\ntest \"a\"\n", 2, 1, "twice", "window"},
        {"listen 5\nserial /dev/ttyS0 9600\ntest \"a\"\n", 2, 1, "serial", "serial"},
        {"serial /dev/ttyS0 fast\ntest \"a\"\n", 1, 19, "whole number", "fast"},
        {"test a\n", 1, 6, "test \"NAME\"", "a"},
        {"test \"a\n", 1, 6, "not closed", "\"a"},
        {"test \"\"\n", 1, 6, "no name", "\"\""},
        {"test \"a\"\ntest \"a\"\n", 2, 6, "line 1", "\"a\""},
        {"test \"a\"\"b\"\n", 1, 9, "after the closing quote", "\"b\""},
        {"test \"a\"\n send 11 0G\n", 2, 11, "hexadecimal", "G"},
        {"test \"a\"\n send\n", 2, 6, "no packet", ""},
        {"test \"a\"\n send dev=1 type=40 code=A3\n", 2, 21, "class 3", "code=A3"},
        {"test \"a\"\n send {dev}\n", 2, 7, "rule's reply", "{dev}"},
        {"test \"a\"\n expect 11 * 2\n", 2, 12, "end", "*"},
        {"test \"a\"\n expect 11 within\n", 2, 18, "duration", ""},
        {"test \"a\"\n expect 11 within 5\n", 2, 19, "unit", "5"},
        {"test \"a\"\n expect 11 within 5s 12\n", 2, 12, "ends the statement", "within 5s 12"},
        {"test \"a\"\n expect\n", 2, 8, "no pattern", ""},
        {"test \"a\"\n expect code=ZZ\n", 2, 14, "message code", "ZZ"},
        {"test \"a\"\n wait\n", 2, 6, "wait T", ""},
        {"test \"a\"\n wait 99999999s\n", 2, 7, "duration", "99999999s"},
        {"test \"a\"\n repeat 0\n end\n", 2, 9, "from 1", "0"},
        {"test \"a\"\n repeat 2 each 1s\n", 2, 11, "repeat N every T", "each 1s"},
        {"test \"a\"\n end\n", 2, 2, "without a repeat", "end"},
        {"test \"a\"\n repeat 2\n send 11\n", 2, 1, "no end", "repeat"},
        {"test \"a\"\n repeat 2\ntest \"b\"\n", 3, 1, "line 2", "test"},
        {"test \"a\"\n send 11 \x01\n", 2, 10, "control character", "\x01"},
        {"test \"a\"\n send 11 \xC3\x28\n", 2, 10, "UTF-8", "\xC3"},
        {"# nothing\n", 1, 1, "no test", ""},
        {"listen 5\n\nframe on\n# no test follows\n", 3, 1, "no test", ""},
    };
    for (const WrongInput& wrong : cases) {
        Scenario scenario;
        SourceError error;
        ASSERT_FALSE(ParseScenario("f.tvs", wrong.text, scenario, error)) << wrong.text;
        EXPECT_EQ(error.file, "f.tvs");
        EXPECT_EQ(error.line, wrong.line) << wrong.text;
        EXPECT_EQ(error.column, wrong.column) << wrong.text << FormatSourceError(error);
        EXPECT_NE(error.message.find(wrong.message), std::string::npos)
            << wrong.text << " -> " << error.message;
        EXPECT_EQ(error.text, wrong.excerpt) << wrong.text;
    }
}

TEST(ScenarioFileTest, ColumnsCountCharactersAndPacketsStayWithinTheLimits) {
    Scenario scenario;
    SourceError error;
    ASSERT_FALSE(ParseScenario("f.tvs", "test \"a\"\n  send 11 0Ж\n", scenario, error));
    EXPECT_EQ(error.column, 12u);
    EXPECT_EQ(error.text, "Ж") << "the whole letter, not its first byte";
    ASSERT_FALSE(ParseScenario("f.tvs", "test \"ж\" x\n", scenario, error));
    EXPECT_EQ(error.column, 10u) << "ж is one character of two bytes";
    EXPECT_EQ(FormatSourceError(error), "f.tvs:1:10: the statement is test \"NAME\": \"x\"");

    std::string big = "test \"a\"\n send";
    for (int i = 0; i < 513; ++i) {
        big += " 00";
    }
    ASSERT_FALSE(ParseScenario("f.tvs", big, scenario, error));
    EXPECT_NE(error.message.find("513 bytes; at most 512"), std::string::npos);

    // With a key, the part after the addresses goes through the cipher, which takes 246 bytes.
    std::string ciphered = "key " + std::string(64, '0') + "\ntest \"a\"\n send 11 01 00";
    for (int i = 0; i < 247; ++i) {
        ciphered += " 00";
    }
    ASSERT_FALSE(ParseScenario("f.tvs", ciphered, scenario, error));
    EXPECT_NE(error.message.find("247 bytes"), std::string::npos) << error.message;
    ciphered.resize(ciphered.size() - 3);
    EXPECT_TRUE(ParseScenario("f.tvs", ciphered, scenario, error)) << FormatSourceError(error);
}

}  // namespace
}  // namespace tarvu::scenario
