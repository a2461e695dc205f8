#include "platform/local_time.h"

#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace tarvu {

LocalTime GetLocalTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    LocalTime t;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.millisecond = now.wMilliseconds;
    return t;
}

std::string LocalTimestamp(std::time_t seconds) {
    std::tm tm{};
    localtime_s(&tm, &seconds);
    // The C runtime's %z gives the zone's name; the offset is the local time read as UTC less
    // the moment itself.
    std::tm copy = tm;
    const long long offset = static_cast<long long>(_mkgmtime(&copy) - seconds) / 60;
    const long long magnitude = std::llabs(offset);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d %c%02lld%02lld",
                  tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return stamp;
}

}  // namespace tarvu
