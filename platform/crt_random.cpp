#include "platform/crt_random.h"

#include <atomic>

namespace tarvu {
namespace {

// The classic linear congruential generator of the C runtime's rand; one state per process.
std::atomic<uint32_t> gState{1};

}  // namespace

void CrtSrand(uint32_t seed) {
    gState.store(seed, std::memory_order_relaxed);
}

int CrtRand() {
    uint32_t state = gState.load(std::memory_order_relaxed);
    uint32_t next;
    do {
        next = state * 214013u + 2531011u;
    } while (!gState.compare_exchange_weak(state, next, std::memory_order_relaxed));
    return static_cast<int>((next >> 16) & 0x7FFF);
}

}  // namespace tarvu
