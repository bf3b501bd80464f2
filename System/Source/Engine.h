// Engine start-up and shutdown.
#pragma once

// Builds every singleton in order, runs the main loop until it returns.
// Returns the process exit code for a start-up that cannot go on (GLFW or
// the window failing), or 0 after the main loop ended.
int StartEngine(int argc);
// Releases everything in order; the pool goes last.
void ShutdownEngine();
