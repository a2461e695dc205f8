#pragma once
// Local wall-clock time with milliseconds, for trace time stamps.

#include <cstdint>
#include <ctime>
#include <string>

namespace tarvu {

struct LocalTime {
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t millisecond = 0;
};

LocalTime GetLocalTime();

// `seconds` as local date, time and offset from UTC: "2026-12-08 03:15:37 +0200".
std::string LocalTimestamp(std::time_t seconds);

}  // namespace tarvu
