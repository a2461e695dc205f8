#include "platform/waitable_timer.h"

#include <windows.h>

namespace tarvu {
namespace {

// Relative due times are negative counts of 100-nanosecond units.
constexpr LONGLONG kUnitsPerMillisecond = 10000;

}  // namespace

WaitableTimer::SystemTimer::SystemTimer()
    : handle(::CreateWaitableTimerW(nullptr, FALSE, nullptr)) {
}

WaitableTimer::SystemTimer::~SystemTimer() {
    if (handle != nullptr) {
        ::CloseHandle(handle);
    }
}

void WaitableTimer::SetRelative(uint32_t milliseconds) {
    // A signal that nobody took is dropped first, so only the new due time signals (Wine
    // leaves an earlier signal standing when the timer is set again).
    ::CancelWaitableTimer(timer_.handle);
    ::WaitForSingleObject(timer_.handle, 0);
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(milliseconds) * kUnitsPerMillisecond;
    ::SetWaitableTimer(timer_.handle, &due, 0, nullptr, nullptr, FALSE);
}

void WaitableTimer::Wait() {
    ::WaitForSingleObject(timer_.handle, INFINITE);
}

bool WaitableTimer::WaitFor(uint32_t timeoutMs) {
    return ::WaitForSingleObject(timer_.handle, timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace tarvu
