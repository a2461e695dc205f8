#include "scenario/scenario_file.h"

#include "crypto/gost_cipher.h"
#include "link/packet_decode.h"
#include "scenario/values.h"

namespace tarvu::scenario {
namespace {

constexpr const char* kStatements =
    "unknown statement; a scenario has to, serial, listen, frame, key, window, test, send, "
    "expect, wait, repeat and end";

struct OpenRepeat {
    RepeatStep* step;
    uint32_t line;
};

class ScenarioParser {
public:
    ScenarioParser(std::string_view file, Scenario& out) : file_(file), out_(out) {}

    bool Run(std::string_view text, SourceError& error);

private:
    bool Statement(const SourceLine& line);
    bool Header(const SourceLine& line, std::string_view keyword);
    bool Test(const SourceLine& line);
    bool Send(const SourceLine& line, Step& step);
    bool Expect(const SourceLine& line, Step& step);
    bool Repeat(const SourceLine& line, Step& step);
    std::vector<Step>& CurrentSteps();
    bool Fail(size_t offset, size_t length, std::string message) {
        failure_ = {offset, length, std::move(message)};
        return false;
    }

    std::string_view file_;
    Scenario& out_;
    Failure failure_;
    std::vector<OpenRepeat> open_;
    bool windowGiven_ = false;
};

std::vector<Step>& ScenarioParser::CurrentSteps() {
    return open_.empty() ? out_.tests.back().steps : open_.back().step->steps;
}

bool ScenarioParser::Run(std::string_view text, SourceError& error) {
    out_ = Scenario{};
    out_.file = std::string(file_);
    uint32_t lastLine = 1;
    if (!ForEachStatement(file_, text, failure_, error, [this, &lastLine](const SourceLine& line) {
            lastLine = line.number;
            return Statement(line);
        })) {
        return false;
    }
    if (!open_.empty()) {
        error = SourceError{std::string(file_), open_.back().line, 1,
                            "the repeat has no end before the end of the file", "repeat"};
        return false;
    }
    if (out_.tests.empty()) {
        error = SourceError{std::string(file_), lastLine, 1,
                            "the file has no test; start one with test \"NAME\"", ""};
        return false;
    }
    return true;
}

bool ScenarioParser::Statement(const SourceLine& line) {
    const Token& first = line.tokens[0];
    const std::string_view keyword = first.quoted ? std::string_view() : first.text;
    if (keyword == "test") {
        return Test(line);
    }
    const bool header = keyword == "window" || keyword == "to" || keyword == "listen" ||
                        keyword == "serial" || keyword == "frame" || keyword == "key";
    if (header) {
        if (!out_.tests.empty()) {
            return Fail(first.offset, first.text.size(),
                        "header statements come before the first test");
        }
        return Header(line, keyword);
    }
    const bool step = keyword == "send" || keyword == "expect" || keyword == "wait" ||
                      keyword == "repeat" || keyword == "end";
    if (!step) {
        return Fail(first.offset, first.text.size(), kStatements);
    }
    if (out_.tests.empty()) {
        return Fail(first.offset, first.text.size(),
                    "a step belongs to a test; start one with test \"NAME\"");
    }
    if (keyword == "end") {
        if (open_.empty()) {
            return Fail(first.offset, first.text.size(), "end without a repeat");
        }
        if (line.tokens.size() > 1) {
            return Fail(line.tokens[1].offset, 0, "end stands alone");
        }
        open_.pop_back();
        return true;
    }
    Step next;
    next.line = line.number;
    bool ok = false;
    if (keyword == "send") {
        ok = Send(line, next);
    } else if (keyword == "expect") {
        ok = Expect(line, next);
    } else if (keyword == "wait") {
        if (line.tokens.size() != 2) {
            return Fail(line.tokens.size() > 2 ? line.tokens[2].offset : first.End(), 0,
                        "the statement is wait T (250ms, 2s)");
        }
        WaitStep wait;
        ok = ParseDuration(line.tokens[1].text, line.tokens[1].offset, wait.ms, failure_);
        next.action = wait;
    } else {
        ok = Repeat(line, next);
        if (ok) {
            std::vector<Step>& steps = CurrentSteps();
            steps.push_back(std::move(next));
            open_.push_back({&std::get<RepeatStep>(steps.back().action), line.number});
            return true;
        }
    }
    if (ok) {
        CurrentSteps().push_back(std::move(next));
    }
    return ok;
}

bool ScenarioParser::Header(const SourceLine& line, std::string_view keyword) {
    if (keyword == "window") {
        if (windowGiven_) {
            return Fail(line.tokens[0].offset, 6, "the statement is given twice");
        }
        if (line.tokens.size() != 2) {
            return Fail(line.tokens.size() > 2 ? line.tokens[2].offset : line.tokens[0].End(), 0,
                        "the statement is window T (1s, 500ms)");
        }
        windowGiven_ = true;
        return ParseDuration(line.tokens[1].text, line.tokens[1].offset, out_.windowMs, failure_);
    }
    return ParseLinkStatement(line, false, out_.link, failure_) == HeaderResult::kRead;
}

bool ScenarioParser::Test(const SourceLine& line) {
    if (!open_.empty()) {
        return Fail(line.tokens[0].offset, 4,
                    "the repeat of line " + std::to_string(open_.back().line) +
                        " has no end before the next test");
    }
    if (line.tokens.size() != 2 || !line.tokens[1].quoted) {
        const size_t n = line.tokens.size();
        const size_t at = n > 2   ? line.tokens[2].offset
                          : n > 1 ? line.tokens[1].offset
                                  : line.tokens[0].End();
        return Fail(at, 0, "the statement is test \"NAME\"");
    }
    const Token& name = line.tokens[1];
    if (name.value.empty()) {
        return Fail(name.offset, name.text.size(), "the test has no name");
    }
    for (const ScenarioTest& test : out_.tests) {
        if (test.name == name.value) {
            return Fail(name.offset, name.text.size(),
                        "a test of that name is on line " + std::to_string(test.line));
        }
    }
    out_.tests.push_back(ScenarioTest{name.value, line.number, {}});
    return true;
}

bool ScenarioParser::Send(const SourceLine& line, Step& step) {
    SendStep send;
    if (!ParsePacketBuilder(line, 1, line.tokens.size(), TemplateScope::kCounterOnly, send.packet,
                            failure_)) {
        return false;
    }
    // Nothing is copied in a scenario, so every send of the statement has the same length.
    std::vector<uint8_t> bytes;
    send.packet.Build(0, {}, bytes);
    const size_t start = line.tokens.size() > 1 ? line.tokens[1].offset : 0;
    if (bytes.size() > kMaxPacketLength) {
        return Fail(start, line.text.size() - start,
                    "the packet has " + std::to_string(bytes.size()) + " bytes; at most " +
                        std::to_string(kMaxPacketLength));
    }
    if (out_.link.key) {
        const DecodedPacket decoded = DecodePacket(bytes);
        const size_t clear = 1u + decoded.deviceLength + decoded.secondLength;
        if (bytes.size() > clear && bytes.size() - clear > kGostMaxBody) {
            return Fail(start, line.text.size() - start,
                        "the part to encrypt has " + std::to_string(bytes.size() - clear) +
                            " bytes; the cipher takes at most " + std::to_string(kGostMaxBody));
        }
    }
    send.counterSlot = out_.sendStatements++;
    step.action = std::move(send);
    return true;
}

bool ScenarioParser::Expect(const SourceLine& line, Step& step) {
    ExpectStep expect;
    size_t last = line.tokens.size();
    if (last >= 3 && !line.tokens[last - 2].quoted && line.tokens[last - 2].text == "within") {
        uint32_t ms = 0;
        if (!ParseDuration(line.tokens[last - 1].text, line.tokens[last - 1].offset, ms,
                           failure_)) {
            return false;
        }
        expect.withinMs = ms;
        last -= 2;
    } else if (last >= 2 && line.tokens[last - 1].text == "within") {
        return Fail(line.tokens[last - 1].End(), 0, "within needs a duration (500ms, 2s)");
    }
    if (last == 2 && line.tokens[1].text == "none") {
        step.action = std::move(expect);
        return true;
    }
    for (size_t i = 1; i < last; ++i) {
        if (line.tokens[i].text == "within") {
            return Fail(line.tokens[i].offset, line.text.size() - line.tokens[i].offset,
                        "within T ends the statement");
        }
    }
    if (!ParsePacketPattern(line, 1, last, expect.pattern.emplace(), failure_)) {
        return false;
    }
    step.action = std::move(expect);
    return true;
}

bool ScenarioParser::Repeat(const SourceLine& line, Step& step) {
    if (open_.size() >= kMaxRepeatDepth) {
        return Fail(line.tokens[0].offset, 6,
                    "repeats nest at most " + std::to_string(kMaxRepeatDepth) + " deep");
    }
    RepeatStep repeat;
    const size_t n = line.tokens.size();
    if (n != 2 && !(n == 4 && line.tokens[2].text == "every")) {
        const size_t at = n > 2 ? line.tokens[2].offset : line.tokens[0].End();
        return Fail(at, n > 2 ? line.text.size() - at : 0,
                    "the statement is repeat N or repeat N every T");
    }
    if (!ParseCount(line.tokens[1].text, line.tokens[1].offset, 1, 1'000'000'000, repeat.count,
                    failure_)) {
        return false;
    }
    if (n == 4) {
        uint32_t every = 0;
        if (!ParseDuration(line.tokens[3].text, line.tokens[3].offset, every, failure_)) {
            return false;
        }
        repeat.everyMs = every;
    }
    step.action = std::move(repeat);
    return true;
}

}  // namespace

bool ParseScenario(std::string_view file, std::string_view text, Scenario& out,
                   SourceError& error) {
    ScenarioParser parser(file, out);
    return parser.Run(text, error);
}

}  // namespace tarvu::scenario
