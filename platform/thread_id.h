#pragma once
// The system's identifier of the calling thread (as debug lines print it).

#include <cstdint>

namespace tarvu {

uint32_t CurrentThreadId();

}  // namespace tarvu
