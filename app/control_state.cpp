#include "app/control_state.h"

namespace tarvu {

std::array<uint8_t, 4> ControlState::ReadIpAddress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ipAddress_;
}

std::string ControlState::SendPortText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sendPortText_;
}

std::string ControlState::ReadPortText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return readPortText_;
}

bool ControlState::SubstitutionChecked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return substitution_;
}

void ControlState::SetIpAddress(const std::array<uint8_t, 4>& octets) {
    std::lock_guard<std::mutex> lock(mutex_);
    ipAddress_ = octets;
}

void ControlState::SetSendPortText(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    sendPortText_ = text;
}

void ControlState::SetReadPortText(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    readPortText_ = text;
}

void ControlState::SetSubstitutionChecked(bool checked) {
    std::lock_guard<std::mutex> lock(mutex_);
    substitution_ = checked;
}

}  // namespace tarvu
