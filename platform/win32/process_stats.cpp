#include "platform/process_stats.h"

#include <windows.h>
// after the header above, which it builds on
#include <psapi.h>

namespace tarvu {
namespace {

uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

uint64_t ResidentSetBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) {
        return 0;
    }
    return counters.WorkingSetSize;
}

int64_t ProcessAgeMs() {
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        return -1;
    }
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    // File times count 100 ns.
    return static_cast<int64_t>((FileTimeValue(now) - FileTimeValue(created)) / 10000);
}

}  // namespace tarvu
