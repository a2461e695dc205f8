// The serial side of cnsIoDriver. A driver is serial when its channel carries a baud rate.
// Serial lines are not available yet: opening one fails, so the driver stays not open, posts
// no receives and refuses sends with -2, which is how a line that cannot be opened behaves.
// The serial endpoint replaces these functions; the completion port's readiness wait
// (PostReadiness) is the event wait it needs.

#include "platform/debug_output.h"
#include "transport/io_driver.h"

namespace tarvu {

bool cnsIoDriver::OpenSerial() {
    OutputDebugString("cnsIoDriver: serial line " + serialName_ + " is not available\n");
    return false;
}

int cnsIoDriver::PostSerialReceive() {
    return -1;
}

int cnsIoDriver::WriteSerial(const uint8_t*, size_t, nsOverlapped* record) {
    DeleteOverlapped(record);
    return 0;
}

void cnsIoDriver::HandleWaitComm(nsOverlapped*) {
}

void cnsIoDriver::CloseSerial() {
}

}  // namespace tarvu
