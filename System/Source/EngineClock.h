// The engine's clock. Everything that is timed (the frame profiler, the FPS
// counter, the main loop) reads EngineTime(), so a test can drive time.
#pragma once

// Seconds since the window system started (GLFW's timer) unless a clock
// has been installed.
double EngineTime();

// Installs another clock; null restores GLFW's timer.
void SetEngineClock(double (*clock)());
