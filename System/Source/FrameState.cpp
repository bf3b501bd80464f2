#include "System/Source/FrameState.h"

namespace {
FrameStateSource g_source;
}  // namespace

void SetFrameStateSource(const FrameStateSource& source) {
    g_source = source;
}

double GetFrameTime() {
    return g_source.frameTime ? g_source.frameTime() : 0.0;
}

bool IsPauseMenuShown() {
    return g_source.pauseMenuShown ? g_source.pauseMenuShown() : false;
}
