#include "record/session_header.h"

#include "platform/local_time.h"
#include "tarvu_build_info.h"

namespace tarvu {

const char* RecordedVersion() {
    return TARVU_VERSION;
}

std::string FormatSessionHeader(const SessionSettings& settings,
                                std::chrono::system_clock::time_point when) {
    std::string out = "# ";
    out += LocalTimestamp(std::chrono::system_clock::to_time_t(when));
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
