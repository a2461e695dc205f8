#pragma once
// The console event handler that InstallStopSignals installs; platform-internal, and for the
// tests, since a console's close, logoff and shutdown events cannot be sent to a process on
// purpose (GenerateConsoleCtrlEvent sends only Ctrl+C and Ctrl+Break).

namespace tarvu {

// Handles one console event (CTRL_C_EVENT ...) as the system's handler thread would. True
// when the event was taken as a stop request.
bool HandleConsoleEvent(unsigned long event);

}  // namespace tarvu
