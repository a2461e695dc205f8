#include "platform/process_stats.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>

namespace tarvu {

uint64_t ResidentSetBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t sizePages = 0;
    uint64_t residentPages = 0;
    if (!(statm >> sizePages >> residentPages)) {
        return 0;
    }
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pageSize > 0 ? residentPages * static_cast<uint64_t>(pageSize) : 0;
}

int64_t ProcessAgeMs() {
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // The command name in parentheses may hold blanks; fields are counted after its ')'.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    // Field 22 (starttime) is the 20th after the name: state is field 3.
    for (int i = 3; i < 22; ++i) {
        fields >> field;
    }
    unsigned long long startTicks = 0;
    if (!(fields >> startTicks)) {
        return -1;
    }
    std::ifstream uptimeFile("/proc/uptime");
    double uptimeSeconds = 0;
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (!(uptimeFile >> uptimeSeconds) || ticksPerSecond <= 0) {
        return -1;
    }
    const double startSeconds =
        static_cast<double>(startTicks) / static_cast<double>(ticksPerSecond);
    return static_cast<int64_t>((uptimeSeconds - startSeconds) * 1000.0);
}

}  // namespace tarvu
