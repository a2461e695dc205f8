#pragma once
// The kernel's arbitrary-rate interface for serial lines (termios2 with BOTHER). It lives in a
// translation unit of its own because its kernel header clashes with <termios.h>.

#include <cstdint>

namespace tarvu {

// Sets input and output rate of the terminal `fd` to `baudRate` bits per second, leaving every
// other setting as it is. 0, or the errno value of the failure (ENOSYS when this build has no
// arbitrary-rate interface).
int SetCustomBaudRate(int fd, uint32_t baudRate);

// The output rate the kernel holds for `fd`, standard or not; 0 when it cannot be read.
uint32_t CurrentBaudRate(int fd);

}  // namespace tarvu
