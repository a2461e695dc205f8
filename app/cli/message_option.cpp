#include "app/cli/message_option.h"

#include "trace/message_catalogue.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace tarvu::cli {
namespace {

bool ParseNumber(std::string_view text, uint32_t limit, uint32_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value, base);
    return !text.empty() && ec == std::errc() && stop == end && value <= limit;
}

bool ParseCode(std::string_view text, uint32_t& code) {
    for (const CatalogueEntry& entry : CatalogueEntries()) {
        if (text == entry.name) {
            code = entry.code;
            return true;
        }
    }
    return ParseNumber(text, 0xFFFFFFFFu, code);
}

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const size_t colon = text.find(':');
        fields.push_back(text.substr(0, colon));
        if (colon == std::string_view::npos) {
            return fields;
        }
        text.remove_prefix(colon + 1);
    }
}

// "\"text\"", built by appending: GCC 12 at -O3 reports a false -Wrestrict overlap inside
// std::string for `"\"" + std::string(text)` (GCC bug 105329).
std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted += text;
    quoted += '"';
    return quoted;
}

}  // namespace

bool ParseMessageOption(std::string_view text, uint8_t channelNumber, MessageRecord& out,
                        std::string& error) {
    const std::vector<std::string_view> fields = SplitFields(text);
    if (fields.size() < 2 || fields.size() > 4) {
        error = Quoted(text) + " is not CODE:DEVICE[:PARAM[:EXTRA]]";
        return false;
    }
    uint32_t code = 0;
    if (!ParseCode(fields[0], code)) {
        error =
            Quoted(fields[0]) + " is neither a message name nor a number (hexadecimal needs 0x)";
        return false;
    }
    static const char* const kNames[] = {"", "DEVICE", "PARAM", "EXTRA"};
    uint32_t bytes[4] = {};
    for (size_t i = 1; i < fields.size(); ++i) {
        if (!ParseNumber(fields[i], 0xFF, bytes[i])) {
            error = std::string(kNames[i]) + " \"" + std::string(fields[i]) +
                    "\" is not a number from 0 to 255";
            return false;
        }
    }
    MessageRecord record;
    record.SetCode(code);
    record.SetChannelNumber(channelNumber);
    record.SetDeviceAddress(static_cast<uint8_t>(bytes[1]));
    record.SetParameter(static_cast<uint8_t>(bytes[2]));
    record.SetExtra(static_cast<uint8_t>(bytes[3]));
    out = record;
    return true;
}

}  // namespace tarvu::cli
