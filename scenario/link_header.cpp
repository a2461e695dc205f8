#include "scenario/link_header.h"

#include "scenario/values.h"

namespace tarvu::scenario {
namespace {

bool Twice(const SourceLine& line, Failure& failure) {
    failure = {line.tokens[0].offset, line.tokens[0].text.size(), "the statement is given twice"};
    return false;
}

bool WantArguments(const SourceLine& line, size_t count, const char* usage, Failure& failure) {
    if (line.tokens.size() == count + 1) {
        return true;
    }
    if (line.tokens.size() > count + 1) {
        const Token& extra = line.tokens[count + 1];
        failure = {extra.offset, line.text.size() - extra.offset,
                   std::string("too many words; the statement is ") + usage};
    } else {
        failure = {line.tokens.back().End(), 0, std::string("the statement is ") + usage};
    }
    return false;
}

bool ParsePort(const Token& token, uint64_t min, uint16_t& port, Failure& failure) {
    uint64_t value = 0;
    if (!ParseCount(token.text, token.offset, min, 65535, value, failure)) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

bool ParseStatement(const SourceLine& line, std::string_view keyword, bool listenZero,
                    LinkSettings& link, Failure& failure) {
    if (keyword == "to") {
        if (link.to) {
            return Twice(line, failure);
        }
        if (!WantArguments(line, 1, "to ADDRESS:PORT", failure)) {
            return false;
        }
        return ParseDestination(line.tokens[1].text, line.tokens[1].offset, link.to.emplace(),
                                failure);
    }
    if (keyword == "listen") {
        if (link.listen) {
            return Twice(line, failure);
        }
        if (link.serial) {
            failure = {line.tokens[0].offset, 6, "a serial line listens on no UDP port"};
            return false;
        }
        if (!WantArguments(line, 1, "listen PORT", failure)) {
            return false;
        }
        return ParsePort(line.tokens[1], listenZero ? 0 : 1, link.listen.emplace(), failure);
    }
    if (keyword == "serial") {
        if (link.serial) {
            return Twice(line, failure);
        }
        if (link.listen) {
            failure = {line.tokens[0].offset, 6, "a serial line listens on no UDP port"};
            return false;
        }
        if (!WantArguments(line, 2, "serial DEVICE BAUD", failure)) {
            return false;
        }
        SerialLine& serial = link.serial.emplace();
        serial.device = line.tokens[1].value;
        if (serial.device.empty() || serial.device.size() > kMaxSerialDevice) {
            failure = {line.tokens[1].offset, line.tokens[1].text.size(),
                       "the device path has 1 to 127 bytes"};
            return false;
        }
        uint64_t baud = 0;
        if (!ParseCount(line.tokens[2].text, line.tokens[2].offset, 1, 100'000'000, baud,
                        failure)) {
            return false;
        }
        serial.baudRate = static_cast<uint32_t>(baud);
        return true;
    }
    if (keyword == "frame") {
        if (link.frame) {
            return Twice(line, failure);
        }
        if (!WantArguments(line, 1, "frame on|off", failure)) {
            return false;
        }
        if (line.tokens[1].text != "on" && line.tokens[1].text != "off") {
            failure = {line.tokens[1].offset, line.tokens[1].text.size(), "frame is on or off"};
            return false;
        }
        link.frame = line.tokens[1].text == "on";
        return true;
    }
    // key
    if (link.key) {
        return Twice(line, failure);
    }
    if (line.tokens.size() < 2) {
        failure = {line.tokens[0].End(), 0, "the statement is key HEX (64 hex digits)"};
        return false;
    }
    return ParseKey(TokenSpan(line, 1, line.tokens.size()), line.tokens[1].offset,
                    link.key.emplace(), failure);
}

}  // namespace

bool ParseDestination(std::string_view text, size_t offset, Destination& out, Failure& failure) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        failure = {offset, text.size(), "the peer is ADDRESS:PORT (127.0.0.1:10002)"};
        return false;
    }
    if (!ParseIpv4(text.substr(0, colon), offset, out.address, failure)) {
        return false;
    }
    uint64_t port = 0;
    if (!ParseCount(text.substr(colon + 1), offset + colon + 1, 1, 65535, port, failure)) {
        failure.message = "the port is a whole number from 1 to 65535";
        return false;
    }
    out.port = static_cast<uint16_t>(port);
    return true;
}

HeaderResult ParseLinkStatement(const SourceLine& line, bool listenZero, LinkSettings& link,
                                Failure& failure) {
    const std::string_view keyword = line.tokens[0].quoted ? "" : line.tokens[0].text;
    if (keyword != "to" && keyword != "listen" && keyword != "serial" && keyword != "frame" &&
        keyword != "key") {
        return HeaderResult::kNotHeader;
    }
    return ParseStatement(line, keyword, listenZero, link, failure) ? HeaderResult::kRead
                                                                    : HeaderResult::kFailed;
}

}  // namespace tarvu::scenario
