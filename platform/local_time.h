#pragma once
// Local wall-clock time with milliseconds, for trace time stamps.

#include <cstdint>

namespace tarvu {

struct LocalTime {
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t millisecond = 0;
};

LocalTime GetLocalTime();

}  // namespace tarvu
