#include "Platform/Signals.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>

namespace {

volatile std::sig_atomic_t g_quitRequested = 0;
volatile std::sig_atomic_t g_quitSignal = 0;
void (*volatile g_quitHook)() = nullptr;
pthread_t g_mainThread;
pid_t g_mainThreadId = 0;

void OnQuitSignal(int signal) {
    // The hook touches what only the main thread may (a running script);
    // the kernel hands a signal to any thread that does not block it.
    if (gettid() != g_mainThreadId) {
        pthread_kill(g_mainThread, signal);
        return;
    }
    if (g_quitRequested) {
        // The first signal asks politely, a second one is final.
        std::signal(signal, SIG_DFL);
        raise(signal);
        return;
    }
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
        "The game did not end within 5 seconds of the quit signal (a script is stuck where it "
        "cannot be interrupted: a finalizer or a long library call); ending it now.\n";
    static_assert(kQuitSignalGraceSeconds == 5, "the line above names the seconds");
    ssize_t written = write(STDOUT_FILENO, kLine, sizeof(kLine) - 1);
    (void)written;
    _exit(128 + (g_quitSignal != 0 ? int(g_quitSignal) : SIGINT));
}

}  // namespace

void InstallQuitSignals() {
    g_mainThread = pthread_self();
    g_mainThreadId = gettid();
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
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

void QuitSignalTaken() {
    if (g_quitRequested) alarm(kQuitSignalGraceSeconds);
}

void SetQuitSignalHook(void (*hook)()) {
    g_quitHook = hook;
}
