#include "platform/performance_counter.h"

#include <chrono>

namespace tarvu {

int64_t QueryPerformanceCounter() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t QueryPerformanceFrequency() {
    return 1'000'000'000;
}

}  // namespace tarvu
