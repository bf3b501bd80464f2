// The engine's random generator: the classic 15-bit linear congruential
// generator (results 0 to 32767). Every formula that divides by 32767 relies
// on that range, so the engine never uses the C library's rand().
#pragma once

#include <cstdint>

namespace System {

constexpr int kEngineRandMax = 0x7FFF;

// Seeds the generator (start-up seeds it with 1).
void EngineSrand(uint32_t seed);
// Next value: state = state * 214013 + 2531011; (state >> 16) & 0x7FFF.
int EngineRand();

}  // namespace System
