#include "System/Source/EngineClock.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

double GlfwClock() {
    return glfwGetTime();
}

double (*g_clock)() = GlfwClock;

}  // namespace

double EngineTime() {
    return g_clock();
}

void SetEngineClock(double (*clock)()) {
    g_clock = clock ? clock : GlfwClock;
}
