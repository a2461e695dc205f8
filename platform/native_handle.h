#pragma once
// The system's handle of an open socket or device, as the platform interfaces pass it around:
// a descriptor on POSIX systems, a SOCKET or HANDLE value on Windows.

#include <cstdint>

namespace tarvu {

#ifdef _WIN32
using NativeHandle = uintptr_t;
constexpr NativeHandle kInvalidNativeHandle = ~NativeHandle{0};  // INVALID_SOCKET
#else
using NativeHandle = int;
constexpr NativeHandle kInvalidNativeHandle = -1;
#endif

}  // namespace tarvu
