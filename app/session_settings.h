#pragma once
// What the session record's header and capture take from the dialog's fields.

#include "link/main_window.h"
#include "record/session_header.h"

#include <cstdint>
#include <string>

namespace tarvu {

// Read port, destination address:port and frame switch as the fields show them now; a serial
// session names its device instead.
SessionSettings CurrentSessionSettings(const MainWindow& window, const std::string& serialDevice);

// The read port as the channel binds it (0 when the field holds no valid port).
uint16_t CurrentReadPort(const MainWindow& window);

}  // namespace tarvu
