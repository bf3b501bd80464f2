// Ctrl+C in a terminal (SIGINT) and `kill` (SIGTERM) ask the game to end the
// way closing its window does: the level ends through its end script and the
// process exits normally.
#pragma once

// Installs the handlers. A second signal of the same kind ends the process
// at once, for a game that no longer reaches the end of its frame.
void InstallQuitSignals();
// Whether SIGINT or SIGTERM arrived since the handlers were installed.
bool QuitSignalReceived();
