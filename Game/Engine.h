// Engine start-up and shutdown.
#pragma once

// Builds every singleton in order, runs the main loop until it returns.
// Returns the process exit code for a start-up that cannot go on (GLFW or
// the window failing), or 0 after the main loop ended. The command line
// chooses the replay (see CreateReplayRecorder).
int StartEngine(int argc, char** argv);
// Releases everything in order; the pool goes last. Returns the process
// exit code: 1 when the display was lost (the level still ended), else 0.
int ShutdownEngine();

// Shutdown's first step: deletes every menu of the menu list and of the HUD
// list (a menu that stands in both, or twice in one, is deleted once), then
// the lists.
void DeleteMenuLists();
