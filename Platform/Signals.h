// Ctrl+C in a terminal (SIGINT) and `kill` (SIGTERM) ask the game to end the
// way closing its window does: the level ends through its end script and the
// process exits normally.
#pragma once

// Installs the handlers. A second signal of the same kind ends the process
// at once, for a game that no longer reaches the end of its frame.
void InstallQuitSignals();
// Whether SIGINT or SIGTERM arrived since the handlers were installed.
bool QuitSignalReceived();
// Called from the signal handler after the flag is set, so that work that
// never returns to the main loop (a script stuck in a loop) can be stopped.
// It runs inside the handler: it must be async-signal-safe.
void SetQuitSignalHook(void (*hook)());
