#include "platform/win32/winsock_start.h"

#include <winsock2.h>

namespace tarvu {

bool StartWindowsSockets() {
    // A function-local static runs WSAStartup exactly once, even with racing first callers.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace tarvu
