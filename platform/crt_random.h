#pragma once
// The C runtime's srand/rand pair as the engine expects it: one process-wide generator,
// reseeded by its users, yielding 0..32767.

#include <cstdint>

namespace tarvu {

constexpr int kCrtRandMax = 32767;

void CrtSrand(uint32_t seed);
// 0 .. kCrtRandMax.
int CrtRand();

}  // namespace tarvu
