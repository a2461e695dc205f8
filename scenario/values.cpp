#include "scenario/values.h"

#include "link/hex_text.h"

#include <cstring>

namespace tarvu::scenario {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits, an optional point and up to `decimals` digits after it, as a fixed-point number
// scaled by 10^decimals. False for anything else or a value above `limit` (scaled).
bool ParseFixed(std::string_view text, int decimals, uint64_t limit, uint64_t& scaled) {
    uint64_t whole = 0;
    size_t i = 0;
    while (i < text.size() && IsDigit(text[i])) {
        whole = whole * 10 + static_cast<uint64_t>(text[i] - '0');
        if (whole > limit) {
            return false;
        }
        ++i;
    }
    if (i == 0) {
        return false;
    }
    uint64_t fraction = 0;
    int fractionDigits = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            if (fractionDigits == decimals) {
                return false;
            }
            fraction = fraction * 10 + static_cast<uint64_t>(text[i] - '0');
            ++fractionDigits;
            ++i;
        }
        if (fractionDigits == 0) {
            return false;
        }
    }
    if (i != text.size()) {
        return false;
    }
    for (int d = fractionDigits; d < decimals; ++d) {
        fraction *= 10;
    }
    uint64_t scale = 1;
    for (int d = 0; d < decimals; ++d) {
        scale *= 10;
    }
    scaled = whole * scale + fraction;
    return scaled <= limit;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

bool ParseDuration(std::string_view text, size_t offset, uint32_t& ms, Failure& failure) {
    uint64_t value = 0;
    if (EndsWith(text, "ms")) {
        if (ParseFixed(text.substr(0, text.size() - 2), 0, kMaxDurationMs, value)) {
            ms = static_cast<uint32_t>(value);
            return true;
        }
    } else if (EndsWith(text, "s")) {
        if (ParseFixed(text.substr(0, text.size() - 1), 3, kMaxDurationMs, value)) {
            ms = static_cast<uint32_t>(value);
            return true;
        }
    } else if (!text.empty() && IsDigit(text.back())) {
        failure = {offset, text.size(), "a duration needs its unit, ms or s (250ms, 2s)"};
        return false;
    }
    failure = {offset, text.size(),
               "not a duration: a number and ms or s, at most one day (250ms, 1.5s)"};
    return false;
}

bool ParsePercent(std::string_view text, size_t offset, uint32_t& partsPerMillion,
                  Failure& failure) {
    uint64_t value = 0;
    if (EndsWith(text, "%") && ParseFixed(text.substr(0, text.size() - 1), 4, 1'000'000, value)) {
        partsPerMillion = static_cast<uint32_t>(value);
        return true;
    }
    failure = {offset, text.size(), "not a percentage from 0% to 100% (5%, 0.5%)"};
    return false;
}

bool ParseCount(std::string_view text, size_t offset, uint64_t min, uint64_t max, uint64_t& value,
                Failure& failure) {
    uint64_t parsed = 0;
    bool ok = !text.empty() && text.size() <= 20;
    for (size_t i = 0; ok && i < text.size(); ++i) {
        if (!IsDigit(text[i]) || parsed > (max - static_cast<uint64_t>(text[i] - '0')) / 10) {
            ok = false;
            break;
        }
        parsed = parsed * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (ok && parsed >= min && parsed <= max) {
        value = parsed;
        return true;
    }
    failure = {offset, text.size(),
               "not a whole number from " + std::to_string(min) + " to " + std::to_string(max)};
    return false;
}

bool ParseIpv4(std::string_view text, size_t offset, uint32_t& address, Failure& failure) {
    uint8_t octets[4] = {};
    size_t part = 0;
    size_t i = 0;
    bool ok = true;
    while (ok && part < 4) {
        size_t digits = 0;
        unsigned value = 0;
        while (i < text.size() && IsDigit(text[i]) && digits < 3) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            ++digits;
            ++i;
        }
        ok = digits > 0 && value <= 255;
        octets[part++] = static_cast<uint8_t>(value);
        if (ok && part < 4) {
            ok = i < text.size() && text[i] == '.';
            ++i;
        }
    }
    if (ok && i == text.size()) {
        std::memcpy(&address, octets, sizeof octets);
        return true;
    }
    failure = {offset, text.size(), "not an IPv4 address a.b.c.d"};
    return false;
}

bool ParseKey(std::string_view text, size_t offset, std::array<uint8_t, 32>& key,
              Failure& failure) {
    int digits = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ' || text[i] == '\t') {
            continue;
        }
        const int v = HexDigitValue(text[i]);
        if (v < 0) {
            failure = {offset + i, 1, "not a hexadecimal digit in the key"};
            return false;
        }
        if (digits == 64) {
            failure = {offset + i, text.size() - i, "the key has 32 bytes (64 hex digits); more"};
            return false;
        }
        if (digits % 2 == 0) {
            key[static_cast<size_t>(digits / 2)] = static_cast<uint8_t>(v << 4);
        } else {
            key[static_cast<size_t>(digits / 2)] |= static_cast<uint8_t>(v);
        }
        ++digits;
    }
    if (digits != 64) {
        failure = {offset, text.size(),
                   "the key has 32 bytes (64 hex digits); " + std::to_string(digits) + " given"};
        return false;
    }
    return true;
}

}  // namespace tarvu::scenario
