// Ctrl+C in a terminal (SIGINT) and `kill` (SIGTERM) ask the game to end the
// way closing its window does: the level ends through its end script and the
// process exits normally.
#pragma once

// Seconds the game has, after the first signal, to get back to its main loop
// before the watchdog ends it.
constexpr unsigned kQuitSignalGraceSeconds = 5;

// Installs the handlers. A second signal of the same kind ends the process
// at once, for a game that no longer reaches the end of its frame. So does
// the watchdog, kQuitSignalGraceSeconds after the first signal unless
// QuitSignalAnswered() came first: a script can be stuck where it cannot be
// interrupted (a finalizer, a long call into a library). It prints one line
// and exits with 128 + the signal's number, as a shell reports a process
// that the signal ended.
void InstallQuitSignals();
// Whether SIGINT or SIGTERM arrived since the handlers were installed.
bool QuitSignalReceived();
// The engine is taking the quit (or has left its main loop): the watchdog
// stands down.
void QuitSignalAnswered();
// Called from the signal handler after the flag is set, so that work that
// never returns to the main loop (a script stuck in a loop) can be stopped.
// It runs inside the handler: it must be async-signal-safe.
void SetQuitSignalHook(void (*hook)());
