#include "platform/debugger_output.h"

#include <atomic>
#include <chrono>
#include <string>
#include <windows.h>

namespace tarvu {
namespace {

// How long one look for a debug-output monitor holds.
constexpr std::chrono::milliseconds kMonitorRecheck{250};

// True while a program such as DebugView receives OutputDebugString text without being a
// debugger: it creates the event "DBWIN_BUFFER_READY" beside its shared buffer. Looked up at
// most every quarter of a second, so a line nobody reads costs no system call.
bool MonitorListening() {
    static std::atomic<int64_t> nextLook{0};
    static std::atomic<bool> listening{false};
    const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
    if (now < nextLook.load(std::memory_order_relaxed)) {
        return listening.load(std::memory_order_relaxed);
    }
    const HANDLE ready = ::OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY");
    if (ready != nullptr) {
        ::CloseHandle(ready);
    }
    listening.store(ready != nullptr, std::memory_order_relaxed);
    nextLook.store(
        now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(kMonitorRecheck)
                  .count(),
        std::memory_order_relaxed);
    return ready != nullptr;
}

}  // namespace

bool DebuggerListening() {
    return ::IsDebuggerPresent() != FALSE || MonitorListening();
}

void WriteToDebugger(std::string_view text) {
    // OutputDebugStringA wants a terminated string; the text is UTF-8 like everything we print.
    const std::string terminated(text);
    ::OutputDebugStringA(terminated.c_str());
}

}  // namespace tarvu
