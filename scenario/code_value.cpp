#include "scenario/code_value.h"

#include "link/hex_text.h"
#include "trace/message_catalogue.h"

#include <string>

namespace tarvu::scenario {
namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The catalogue's name without the blanks or tabs some entries carry inside the parentheses.
std::string_view TrimmedName(const char* name) {
    std::string_view text(name);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool ParseHexCode(std::string_view text, uint8_t& code) {
    if (text.empty() || text.size() > 2) {
        return false;
    }
    unsigned value = 0;
    for (const char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    code = static_cast<uint8_t>(value);
    return true;
}

// 0: no such name; 1: one code (in `code`); 2: the name stands for several codes, listed in
// `codes`.
int LookUpName(std::string_view name, uint8_t& code, std::string& codes) {
    int found = 0;
    for (const CatalogueEntry& entry : CatalogueEntries()) {
        // Codes above FF are the application's pseudo messages; they never travel in a packet.
        if (entry.code > 0xFF || !EqualIgnoringCase(TrimmedName(entry.name), name)) {
            continue;
        }
        codes += (found == 0 ? "" : ", ") + FormatHexCode(entry.code);
        if (found == 0) {
            code = static_cast<uint8_t>(entry.code);
        }
        ++found;
    }
    return found > 1 ? 2 : found;
}

}  // namespace

bool ParseCodeValue(std::string_view text, size_t offset, uint8_t& code, Failure& failure) {
    if (ParseHexCode(text, code)) {
        return true;
    }
    std::string_view name = text;
    std::string_view hex;
    const size_t open = text.find('(');
    if (open != std::string_view::npos && text.back() == ')') {
        hex = text.substr(0, open);
        name = text.substr(open + 1, text.size() - open - 2);
    }
    uint8_t named = 0;
    std::string codes;
    const int found = LookUpName(name, named, codes);
    if (found == 0) {
        failure = {offset, text.size(),
                   "not a message code: two hex digits or a catalogue name such as ca_RELOCK"};
        return false;
    }
    if (!hex.empty()) {
        uint8_t given = 0;
        if (!ParseHexCode(hex, given)) {
            failure = {offset, open, "not a message code in hex before the name"};
            return false;
        }
        if (found == 2 || given != named) {
            // A name of several codes is fine when the digits pick one of them.
            if (codes.find(FormatHexCode(given)) == std::string::npos) {
                failure = {offset, text.size(), "the code and the name disagree"};
                return false;
            }
        }
        code = given;
        return true;
    }
    if (found == 2) {
        failure = {offset, text.size(),
                   "the name stands for several codes (" + codes + "); give the code in hex"};
        return false;
    }
    code = named;
    return true;
}

}  // namespace tarvu::scenario
