#pragma once
// Windows Sockets start-up, once per process; platform-internal.

namespace tarvu {

// Starts Windows Sockets 2.2 the first time it is called; true while it is started. It stays
// started until the process ends.
bool StartWindowsSockets();

}  // namespace tarvu
