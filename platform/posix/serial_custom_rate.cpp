#include "platform/serial_custom_rate.h"

// Only the kernel's own termios definitions here: <termios.h> must not be included.
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace tarvu {

int SetCustomBaudRate(int fd, uint32_t baudRate) {
#if defined(BOTHER) && defined(TCGETS2) && defined(TCSETS2) && defined(IBSHIFT)
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return errno;
    }
    // The input rate follows the output rate through its own BOTHER field.
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ospeed = baudRate;
    settings.c_ispeed = baudRate;
    if (::ioctl(fd, TCSETS2, &settings) != 0) {
        return errno;
    }
    return 0;
#else
    (void)fd;
    (void)baudRate;
    return ENOSYS;
#endif
}

uint32_t CurrentBaudRate(int fd) {
#if defined(TCGETS2)
    struct termios2 settings {};
    if (::ioctl(fd, TCGETS2, &settings) != 0) {
        return 0;
    }
    return settings.c_ospeed;
#else
    (void)fd;
    return 0;
#endif
}

}  // namespace tarvu
