#pragma once
// Figures about the running process for the benchmarks: its resident memory and its age.

#include <cstdint>

namespace tarvu {

// Resident set size in bytes; 0 when the system does not tell.
uint64_t ResidentSetBytes();

// Milliseconds since the process was started (including loading its libraries), to the
// resolution of the system's clock ticks (usually 10 ms); -1 when the system does not tell.
int64_t ProcessAgeMs();

}  // namespace tarvu
