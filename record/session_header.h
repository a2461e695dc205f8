#pragma once
// The first line of a log file: "# " with the date and time, the program's version, the read
// port, the destination and the frame switch.

#include <chrono>
#include <cstdint>
#include <string>

namespace tarvu {

struct SessionSettings {
    std::string readPort;     // as the field shows it
    std::string destination;  // "127.0.0.1:10002", or the serial device
    bool frame = false;
    bool serial = false;
};

// "# 2026-12-07 23:59:01 Tarvu 1.0, read port 10001, destination 127.0.0.1:10002, frame off\n"
std::string FormatSessionHeader(const SessionSettings& settings,
                                std::chrono::system_clock::time_point when);

// The version the record names, from the build.
const char* RecordedVersion();

}  // namespace tarvu
