#pragma once
// The dialog's controls as the engine sees them: a thread-safe copy that the front end updates
// on every change and the worker reads at the moment it needs a value.

#include "link/main_window.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace tarvu {

class ControlState : public MainWindow {
public:
    std::array<uint8_t, 4> ReadIpAddress() const override;
    std::string SendPortText() const override;
    std::string ReadPortText() const override;
    bool SubstitutionChecked() const override;

    void SetIpAddress(const std::array<uint8_t, 4>& octets);
    void SetSendPortText(const std::string& text);
    void SetReadPortText(const std::string& text);
    void SetSubstitutionChecked(bool checked);

private:
    mutable std::mutex mutex_;
    std::array<uint8_t, 4> ipAddress_ = {};
    std::string sendPortText_;
    std::string readPortText_;
    bool substitution_ = false;
};

}  // namespace tarvu
