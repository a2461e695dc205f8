#include "platform/udp_statistics.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tarvu {

std::optional<uint64_t> SystemUdpReceiveErrors() {
    // Two "Udp:" lines: the column names, then the values.
    std::ifstream snmp("/proc/net/snmp");
    std::vector<std::string> names;
    for (std::string line; std::getline(snmp, line);) {
        if (line.rfind("Udp: ", 0) != 0) {
            continue;
        }
        std::istringstream fields(line.substr(5));
        if (names.empty()) {
            for (std::string name; fields >> name;) {
                names.push_back(name);
            }
            continue;
        }
        uint64_t value = 0;
        for (const std::string& name : names) {
            if (!(fields >> value)) {
                return std::nullopt;
            }
            if (name == "InErrors") {
                return value;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace tarvu
