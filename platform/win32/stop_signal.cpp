#include "platform/stop_signal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <windows.h>

namespace tarvu {
namespace {

std::atomic<bool> gStop{false};
HANDLE gStopEvent = nullptr;  // set by another program that asks this one to stop

// Runs on a thread of its own that the system starts for the console event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            gStop.store(true);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void InstallStopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    if (gStopEvent == nullptr) {
        gStopEvent =
            ::CreateEventA(nullptr, TRUE, FALSE, StopEventName(::GetCurrentProcessId()).c_str());
    }
}

bool StopRequested() {
    if (!gStop.load() && gStopEvent != nullptr &&
        ::WaitForSingleObject(gStopEvent, 0) == WAIT_OBJECT_0) {
        gStop.store(true);
    }
    return gStop.load();
}

void RequestStop() {
    gStop.store(true);
}

bool WaitForStop(int milliseconds, const std::function<bool()>& until) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kSlice = std::chrono::milliseconds(5);
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (true) {
        if (StopRequested()) {
            return true;
        }
        if (until && until()) {
            return false;
        }
        if (milliseconds >= 0) {
            const auto now = Clock::now();
            if (now >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, deadline - now));
        } else {
            std::this_thread::sleep_for(kSlice);
        }
    }
}

}  // namespace tarvu
