#include "Platform/Signals.h"

#include <unistd.h>

#include <csignal>

namespace {

volatile std::sig_atomic_t g_quitRequested = 0;
volatile std::sig_atomic_t g_quitSignal = 0;
void (*volatile g_quitHook)() = nullptr;

void OnQuitSignal(int signal) {
    g_quitRequested = 1;
    g_quitSignal = signal;
    alarm(kQuitSignalGraceSeconds);
    if (void (*hook)() = g_quitHook) hook();
}

// Only write() and _exit() here: the main thread may be anywhere, inside
// malloc or holding stdout's lock. Lines printed before are already out,
// as stdout is line-buffered.
void OnWatchdog(int) {
    static const char kLine[] =
        "The game did not get back to its main loop after the quit signal (stuck where a script "
        "cannot be interrupted: a finalizer or a long library call); ending it without the "
        "level's end.\n";
    ssize_t written = write(STDOUT_FILENO, kLine, sizeof(kLine) - 1);
    (void)written;
    _exit(128 + (g_quitSignal != 0 ? int(g_quitSignal) : SIGINT));
}

}  // namespace

void InstallQuitSignals() {
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the first signal asks politely, a second one is final.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction watchdog {};
    watchdog.sa_handler = OnWatchdog;
    sigemptyset(&watchdog.sa_mask);
    sigaction(SIGALRM, &watchdog, nullptr);
}

bool QuitSignalReceived() {
    return g_quitRequested != 0;
}

void QuitSignalAnswered() {
    alarm(0);
}

void SetQuitSignalHook(void (*hook)()) {
    g_quitHook = hook;
}
