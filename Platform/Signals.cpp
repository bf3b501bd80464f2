#include "Platform/Signals.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

namespace {

constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_quitRequested = 0;
volatile std::sig_atomic_t g_quitSignal = 0;
volatile std::sig_atomic_t g_quitTaken = 0;
// When the first signal arrived. Only the handler touches it, on the main
// thread, with the other quit signals blocked.
timespec g_firstSignalAt{};
void (*volatile g_quitHook)() = nullptr;
pthread_t g_mainThread;
pid_t g_mainThreadId = 0;

double SecondsSince(const timespec& then) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec - then.tv_sec) + double(now.tv_nsec - then.tv_nsec) * 1e-9;
}

void OnQuitSignal(int signal) {
    // The hook touches what only the main thread may (a running script);
    // the kernel hands a signal to any thread that does not block it.
    if (gettid() != g_mainThreadId) {
        pthread_kill(g_mainThread, signal);
        return;
    }
    if (g_quitRequested) {
        if (SecondsSince(g_firstSignalAt) < kQuitSignalEchoSeconds) return;
        // The first signal asks politely, a second one is final.
        std::signal(signal, SIG_DFL);
        raise(signal);
        return;
    }
    clock_gettime(CLOCK_MONOTONIC, &g_firstSignalAt);
    g_quitRequested = 1;
    g_quitSignal = signal;
    alarm(kQuitSignalGraceSeconds);
    if (void (*hook)() = g_quitHook) hook();
}

// Only write() and _exit() here: the main thread may be anywhere, inside
// malloc or holding stdout's lock. Lines printed before are already out,
// as stdout is line-buffered. The line says what is known: how far the
// game got, not what held it.
void OnWatchdog(int) {
    static const char kNotBack[] =
        "The game did not end within 5 seconds of the quit signal: it did not get back to its "
        "main loop; ending it now.\n";
    static const char kNotEnded[] =
        "The game did not end within 5 seconds of taking the quit: its level's end or its "
        "shutdown went on; ending it now.\n";
    static_assert(kQuitSignalGraceSeconds == 5, "the lines above name the seconds");
    const bool taken = g_quitTaken != 0;
    ssize_t written = write(STDOUT_FILENO, taken ? kNotEnded : kNotBack,
                            (taken ? sizeof(kNotEnded) : sizeof(kNotBack)) - 1);
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
    for (int signal : kQuitSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (int signal : kQuitSignals) {
        struct sigaction before {};
        if (signal == SIGHUP && sigaction(SIGHUP, nullptr, &before) == 0 &&
            before.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
    struct sigaction watchdog {};
    watchdog.sa_handler = OnWatchdog;
    sigemptyset(&watchdog.sa_mask);
    sigaction(SIGALRM, &watchdog, nullptr);
}

bool QuitSignalReceived() {
    return g_quitRequested != 0;
}

void QuitSignalTaken() {
    if (!g_quitRequested) return;
    g_quitTaken = 1;
    alarm(kQuitSignalGraceSeconds);
}

void SetQuitSignalHook(void (*hook)()) {
    g_quitHook = hook;
}
