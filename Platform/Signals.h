// Ctrl+C in a terminal (SIGINT), `kill` (SIGTERM) and the terminal's hangup
// (SIGHUP: the terminal closed, the SSH session dropped) ask the game to end
// the way closing its window does: the level ends through its end script and
// the process exits normally. An output whose reader has gone (a `tee` or
// `head` ended with the job) ends nothing: writes to it fail quietly.
#pragma once

#include <cstddef>

// Seconds the game has after the first signal to get back to its main loop,
// and then again to end its level and shut down, before the watchdog ends it.
constexpr unsigned kQuitSignalGraceSeconds = 5;
// A signal this soon after the first is the same request handed on by
// another: make passes SIGTERM on to its child (the game itself, as the
// start script becomes the game once its display is up) besides the one
// `kill %1` sends the job, and the shell and then the kernel each send the
// terminal's hangup to the whole job.
constexpr double kQuitSignalEchoSeconds = 1.0;
// The watchdog counts in steps of this; a step that takes longer than
// kWatchdogStopSeconds finds that the game did not run meanwhile (a stopped
// job, a machine that slept), and counts again from there.
constexpr double kWatchdogStepSeconds = 0.05;
constexpr double kWatchdogStopSeconds = 0.25;

// Installs the handlers; a SIGHUP ignored when the game started (`nohup`)
// stays ignored. SIGPIPE is caught and does nothing, so the commands the
// game runs start with its default action. A second SIGINT or SIGTERM,
// later than kQuitSignalEchoSeconds after the first, ends the process at
// once, for a game that no longer reaches the end of its frame; a hangup
// after the first signal ends nothing (a terminal closing while the level
// ends, as after Ctrl+C, is nobody asking for the end now).
// So does the watchdog, kQuitSignalGraceSeconds after the first signal, or
// after QuitTaken() when the signal came first: a script can be held where
// it cannot be interrupted (a finalizer, a long call into a library, a long
// load), also while the level ends. It prints one line (when the output
// takes it at once) and exits with 128 + the signal's number, as a shell
// reports a process that the signal ended. Time the game spends stopped
// (Ctrl+Z) does not count: the seconds start again at the resume. The
// watchdog is a thread of its own, started here, idle until the first signal.
// A child forked from the game (from any thread) that has not run another
// program takes the signals by their default action.
void InstallQuitSignals();
// Whether one of the three arrived since the handlers were installed.
bool QuitSignalReceived();
// The main loop takes a quit, whatever asked for it (a signal, the window's
// close, a script): after a signal the watchdog gives the level's end and
// the shutdown kQuitSignalGraceSeconds of their own, and its line names the
// level's end as what went on.
void QuitTaken();
// Called from the signal handler after the flag is set, so that work that
// never returns to the main loop (a script stuck in a loop) can be stopped.
// It runs inside the handler: it must be async-signal-safe.
void SetQuitSignalHook(void (*hook)());
// Writes the text only when the descriptor takes it without waiting (else
// drops it): a line from a signal handler must not hold the process on a
// terminal stopped with Ctrl+S or a pipe nobody reads. Async-signal-safe.
void WriteWithoutWaiting(int descriptor, const char* text, size_t length);
