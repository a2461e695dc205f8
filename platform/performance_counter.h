#pragma once
// A monotonic high-resolution counter and its frequency (counts per second).

#include <cstdint>

namespace tarvu {

// Current counter value; never goes backwards.
int64_t QueryPerformanceCounter();
// Counts per second; 0 would mean the counter is unavailable (it never is here).
int64_t QueryPerformanceFrequency();

}  // namespace tarvu
