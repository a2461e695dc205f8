#include "scenario/rule_file.h"

#include "scenario/scenario_file.h"
#include "scenario/values.h"

namespace tarvu::scenario {
namespace {

constexpr const char* kStatements =
    "unknown statement; a rule file has to, serial, listen, frame, key, seed, limit, delay, "
    "jitter, loss, duplicate, reorder, corrupt, on, otherwise and every";

bool IsFaultKeyword(std::string_view word) {
    return word == "delay" || word == "jitter" || word == "loss" || word == "duplicate" ||
           word == "reorder" || word == "corrupt";
}

bool IsAction(std::string_view word) {
    return word == "reply" || word == "echo" || word == "drop";
}

class RuleParser {
public:
    RuleParser(std::string_view file, RuleSet& out) : file_(file), out_(out) {}
    bool Run(std::string_view text, SourceError& error);

private:
    bool Statement(const SourceLine& line);
    // Reads one fault (keyword and value) at token `i` into `faults`.
    bool Fault(const SourceLine& line, size_t i, Faults& faults);
    // Reads "ACTION [PACKET] [FAULTS]" from token `i` on.
    bool Action(const SourceLine& line, size_t i, RuleAction& action, PacketBuilder& reply,
                Faults& faults);
    bool Fail(size_t offset, size_t length, std::string message) {
        failure_ = {offset, length, std::move(message)};
        return false;
    }

    std::string_view file_;
    RuleSet& out_;
    Failure failure_;
    bool seedGiven_ = false;
    bool limitGiven_ = false;
};

bool RuleParser::Run(std::string_view text, SourceError& error) {
    out_ = RuleSet{};
    out_.file = std::string(file_);
    return ForEachStatement(file_, text, failure_, error,
                            [this](const SourceLine& line) { return Statement(line); });
}

bool RuleParser::Fault(const SourceLine& line, size_t i, Faults& faults) {
    const Token& keyword = line.tokens[i];
    if (i + 1 >= line.tokens.size()) {
        return Fail(keyword.End(), 0,
                    std::string(keyword.text) + (keyword.text == "delay" || keyword.text == "jitter"
                                                     ? " needs a duration"
                                                     : " needs a chance (5%)"));
    }
    const Token& value = line.tokens[i + 1];
    const std::string_view word = keyword.text;
    std::optional<uint32_t>* slot = word == "delay"       ? &faults.delayMs
                                    : word == "jitter"    ? &faults.jitterMs
                                    : word == "loss"      ? &faults.loss
                                    : word == "duplicate" ? &faults.duplicate
                                    : word == "reorder"   ? &faults.reorder
                                                          : &faults.corrupt;
    if (slot->has_value()) {
        return Fail(keyword.offset, keyword.text.size(), "the fault is given twice");
    }
    uint32_t parsed = 0;
    const bool ok = word == "delay" || word == "jitter"
                        ? ParseDuration(value.text, value.offset, parsed, failure_)
                        : ParsePercent(value.text, value.offset, parsed, failure_);
    if (!ok) {
        return false;
    }
    *slot = parsed;
    return true;
}

bool RuleParser::Action(const SourceLine& line, size_t i, RuleAction& action, PacketBuilder& reply,
                        Faults& faults) {
    const size_t n = line.tokens.size();
    if (i >= n || !IsAction(line.tokens[i].text)) {
        const size_t at = i < n ? line.tokens[i].offset : line.tokens.back().End();
        return Fail(at, 0, "the action is reply PACKET, echo or drop");
    }
    const std::string_view word = line.tokens[i].text;
    size_t next = i + 1;
    if (word == "reply") {
        action = RuleAction::kReply;
        size_t end = next;
        while (end < n && !IsFaultKeyword(line.tokens[end].text)) {
            ++end;
        }
        if (!ParsePacketBuilder(line, next, end, TemplateScope::kReply, reply, failure_)) {
            return false;
        }
        if (!reply.CopiesReceived()) {
            std::vector<uint8_t> bytes;
            reply.Build(0, {}, bytes);
            if (bytes.size() > kMaxPacketLength) {
                return Fail(line.tokens[next].offset,
                            line.tokens[end - 1].End() - line.tokens[next].offset,
                            "the packet has " + std::to_string(bytes.size()) + " bytes; at most " +
                                std::to_string(kMaxPacketLength));
            }
        }
        next = end;
    } else {
        action = word == "echo" ? RuleAction::kEcho : RuleAction::kDrop;
    }
    if (action == RuleAction::kDrop && next < n) {
        return Fail(line.tokens[next].offset, line.text.size() - line.tokens[next].offset,
                    "a dropped packet has nothing after drop");
    }
    while (next < n) {
        if (!IsFaultKeyword(line.tokens[next].text)) {
            return Fail(line.tokens[next].offset, line.tokens[next].text.size(),
                        "not a fault; the faults are delay, jitter, loss, duplicate, reorder "
                        "and corrupt");
        }
        if (!Fault(line, next, faults)) {
            return false;
        }
        next += 2;
    }
    return true;
}

bool RuleParser::Statement(const SourceLine& line) {
    const Token& first = line.tokens[0];
    const std::string_view keyword = first.quoted ? std::string_view() : first.text;
    const size_t n = line.tokens.size();
    switch (ParseLinkStatement(line, true, out_.link, failure_)) {
        case HeaderResult::kRead:
            return true;
        case HeaderResult::kFailed:
            return false;
        case HeaderResult::kNotHeader:
            break;
    }
    if (IsFaultKeyword(keyword)) {
        if (n > 2) {
            return Fail(line.tokens[2].offset, line.text.size() - line.tokens[2].offset,
                        "one fault a statement");
        }
        return Fault(line, 0, out_.faults);
    }
    if (keyword == "seed" || keyword == "limit") {
        bool& given = keyword == "seed" ? seedGiven_ : limitGiven_;
        if (given) {
            return Fail(first.offset, first.text.size(), "the statement is given twice");
        }
        if (n != 2) {
            return Fail(n > 2 ? line.tokens[2].offset : first.End(), 0,
                        keyword == "seed" ? "the statement is seed N" : "the statement is limit N");
        }
        given = true;
        uint64_t value = 0;
        if (keyword == "seed") {
            if (!ParseCount(line.tokens[1].text, line.tokens[1].offset, 0, UINT64_MAX, value,
                            failure_)) {
                return false;
            }
            out_.seed = value;
            return true;
        }
        if (!ParseCount(line.tokens[1].text, line.tokens[1].offset, 1, 1'000'000, value,
                        failure_)) {
            return false;
        }
        out_.rateLimit = static_cast<uint32_t>(value);
        return true;
    }
    if (keyword == "on") {
        size_t action = 1;
        while (action < n && !IsAction(line.tokens[action].text)) {
            ++action;
        }
        if (action == n) {
            return Fail(line.tokens.back().End(), 0,
                        "the rule is on PATTERN reply PACKET, on PATTERN echo or on PATTERN drop");
        }
        Rule rule;
        rule.line = line.number;
        if (!ParsePacketPattern(line, 1, action, rule.pattern, failure_) ||
            !Action(line, action, rule.action, rule.reply, rule.faults)) {
            return false;
        }
        out_.rules.push_back(std::move(rule));
        return true;
    }
    if (keyword == "otherwise") {
        if (out_.otherwise.line != 0) {
            return Fail(first.offset, first.text.size(),
                        "otherwise is on line " + std::to_string(out_.otherwise.line));
        }
        out_.otherwise.line = line.number;
        return Action(line, 1, out_.otherwise.action, out_.otherwise.reply, out_.otherwise.faults);
    }
    if (keyword == "every") {
        Periodic periodic;
        periodic.line = line.number;
        if (n < 3 || line.tokens[2].text != "send") {
            return Fail(n > 2 ? line.tokens[2].offset : line.tokens.back().End(), 0,
                        "the statement is every T send PACKET");
        }
        if (!ParseDuration(line.tokens[1].text, line.tokens[1].offset, periodic.periodMs,
                           failure_)) {
            return false;
        }
        if (periodic.periodMs == 0) {
            return Fail(line.tokens[1].offset, line.tokens[1].text.size(),
                        "the period is at least 1ms");
        }
        if (!ParsePacketBuilder(line, 3, n, TemplateScope::kCounterOnly, periodic.packet,
                                failure_)) {
            return false;
        }
        std::vector<uint8_t> bytes;
        periodic.packet.Build(0, {}, bytes);
        if (bytes.size() > kMaxPacketLength) {
            return Fail(line.tokens[3].offset, line.text.size() - line.tokens[3].offset,
                        "the packet has " + std::to_string(bytes.size()) + " bytes; at most " +
                            std::to_string(kMaxPacketLength));
        }
        out_.periodic.push_back(std::move(periodic));
        return true;
    }
    return Fail(first.offset, first.text.size(), kStatements);
}

}  // namespace

Faults Faults::Over(const Faults& base) const {
    Faults merged = *this;
    const auto pick = [](std::optional<uint32_t>& own, const std::optional<uint32_t>& other) {
        if (!own) {
            own = other;
        }
    };
    pick(merged.delayMs, base.delayMs);
    pick(merged.jitterMs, base.jitterMs);
    pick(merged.loss, base.loss);
    pick(merged.duplicate, base.duplicate);
    pick(merged.reorder, base.reorder);
    pick(merged.corrupt, base.corrupt);
    return merged;
}

bool Faults::Any() const {
    return delayMs.value_or(0) != 0 || jitterMs.value_or(0) != 0 || loss.value_or(0) != 0 ||
           duplicate.value_or(0) != 0 || reorder.value_or(0) != 0 || corrupt.value_or(0) != 0;
}

bool ParseRules(std::string_view file, std::string_view text, RuleSet& out, SourceError& error) {
    RuleParser parser(file, out);
    return parser.Run(text, error);
}

}  // namespace tarvu::scenario
