#pragma once
// Single values of the two languages: durations with their unit, percentages, counts, ports,
// IPv4 addresses and channel keys. Each parser takes one token's text and its offset in the
// line, and on failure says what is wrong and where.

#include "scenario/source_text.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace tarvu::scenario {

// The longest duration either language takes: one day.
constexpr uint32_t kMaxDurationMs = 86'400'000;

// "250ms", "2s", "1.5s" (at most three decimals, whole milliseconds): 0 .. one day.
bool ParseDuration(std::string_view text, size_t offset, uint32_t& ms, Failure& failure);

// "5%", "0.5%" (at most four decimals): 0 .. 100, as parts per million.
bool ParsePercent(std::string_view text, size_t offset, uint32_t& partsPerMillion,
                  Failure& failure);

// A decimal count from `min` to `max`.
bool ParseCount(std::string_view text, size_t offset, uint64_t min, uint64_t max, uint64_t& value,
                Failure& failure);

// "a.b.c.d", each part decimal 0..255; the result in network byte order (first octet first in
// memory).
bool ParseIpv4(std::string_view text, size_t offset, uint32_t& address, Failure& failure);

// 64 hexadecimal digits, blanks allowed between them (the text of several tokens).
bool ParseKey(std::string_view text, size_t offset, std::array<uint8_t, 32>& key, Failure& failure);

}  // namespace tarvu::scenario
