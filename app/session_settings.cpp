#include "app/session_settings.h"

namespace tarvu {

SessionSettings CurrentSessionSettings(const MainWindow& window, const std::string& serialDevice) {
    SessionSettings settings;
    settings.readPort = window.ReadPortText();
    const auto ip = window.ReadIpAddress();
    settings.destination = std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." +
                           std::to_string(ip[2]) + "." + std::to_string(ip[3]) + ":" +
                           window.SendPortText();
    settings.frame = window.SubstitutionChecked();
    if (!serialDevice.empty()) {
        settings.serial = true;
        settings.destination = serialDevice;
    }
    return settings;
}

uint16_t CurrentReadPort(const MainWindow& window) {
    const int port = PortFieldValue(window.ReadPortText());
    return port > 0 && port <= 0xFFFF ? static_cast<uint16_t>(port) : 0;
}

}  // namespace tarvu
