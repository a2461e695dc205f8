#include "platform/stop_signal.h"

#include "platform/win32/console_events.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <windows.h>

namespace tarvu {
namespace {

std::atomic<bool> gStop{false};
HANDLE gStopEvent = nullptr;  // set by another program that asks this one to stop

// The system gives a program about five seconds after a console close, logoff or shutdown
// event before it ends the process itself; the handler never waits longer than this.
constexpr DWORD kClosingHoldMs = 10000;

// Set by StopCompleted once the closing work is done; never reset.
HANDLE ClosingDoneEvent() {
    static const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// Runs on a thread of its own that the system starts for the console event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    return HandleConsoleEvent(event) ? TRUE : FALSE;
}

}  // namespace

bool HandleConsoleEvent(unsigned long event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            gStop.store(true);
            return true;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            gStop.store(true);
            // The system ends the process as soon as this returns: hold it until the closing
            // sequence has saved the settings and completed the log.
            if (const HANDLE done = ClosingDoneEvent(); done != nullptr) {
                ::WaitForSingleObject(done, kClosingHoldMs);
            }
            return true;
        default:
            return false;
    }
}

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

void StopCompleted() {
    if (const HANDLE done = ClosingDoneEvent(); done != nullptr) {
        ::SetEvent(done);
    }
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
