#include "platform/local_time.h"

#include <chrono>
#include <ctime>

namespace tarvu {

LocalTime GetLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    // A flood traces thousands of lines a second: each thread works the local time of a second
    // out once (a new second, and so a change of the zone's offset, is worked out afresh).
    thread_local std::time_t cachedSecond = -1;
    thread_local std::tm tm{};
    if (seconds != cachedSecond) {
        localtime_r(&seconds, &tm);
        cachedSecond = seconds;
    }
    LocalTime t;
    t.hour = static_cast<uint16_t>(tm.tm_hour);
    t.minute = static_cast<uint16_t>(tm.tm_min);
    t.second = static_cast<uint16_t>(tm.tm_sec);
    t.millisecond = static_cast<uint16_t>(ms.count());
    return t;
}

std::string LocalTimestamp(std::time_t seconds) {
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char stamp[64];
    const size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S %z", &tm);
    return std::string(stamp, n);
}

}  // namespace tarvu
