#include "System/Source/EngineRandom.h"

namespace System {

namespace {
uint32_t g_state = 1;
}

void EngineSrand(uint32_t seed) {
    g_state = seed;
}

int EngineRand() {
    g_state = g_state * 214013u + 2531011u;
    return int((g_state >> 16) & 0x7FFFu);
}

}  // namespace System
