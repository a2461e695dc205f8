#include "record/session_header.h"

#include "tarvu_build_info.h"

#include <cstdio>
#include <ctime>

namespace tarvu {

const char* RecordedVersion() {
    return TARVU_VERSION;
}

std::string FormatSessionHeader(const SessionSettings& settings,
                                std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S %z", &tm);
    std::string out = "# ";
    out += stamp;
    out += " Tarvu ";
    out += RecordedVersion();
    out += settings.serial ? ", serial line " : ", read port ";
    out += settings.serial ? settings.destination : settings.readPort;
    if (!settings.serial) {
        out += ", destination ";
        out += settings.destination;
    }
    out += settings.frame ? ", frame on\n" : ", frame off\n";
    return out;
}

}  // namespace tarvu
