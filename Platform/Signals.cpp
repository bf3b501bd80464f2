#include "Platform/Signals.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <utility>

namespace {

constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_quitRequested = 0;
volatile std::sig_atomic_t g_quitSignal = 0;
volatile std::sig_atomic_t g_quitTaken = 0;
// Whether the main loop had taken a quit (the window's close, a script's)
// when the first signal arrived.
volatile std::sig_atomic_t g_signalAfterTaken = 0;
// When the first signal arrived. Only the handler touches it, on the main
// thread, with the other quit signals blocked.
timespec g_firstSignalAt{};
void (*volatile g_quitHook)() = nullptr;
// When the watchdog's count last started, in nanoseconds of the monotonic
// clock; set from handlers and the main loop alike.
std::atomic<int64_t> g_watchdogArmedAt{0};
volatile std::sig_atomic_t g_watchdogEnding = 0;
pthread_t g_mainThread;
pid_t g_mainThreadId = 0;
pid_t g_gameProcess = 0;

double SecondsSince(const timespec& then) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec - then.tv_sec) + double(now.tv_nsec - then.tv_nsec) * 1e-9;
}

int64_t MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void ArmWatchdog() {
    g_watchdogArmedAt.store(MonotonicNanoseconds());
    alarm(kQuitSignalGraceSeconds);
}

// A child forked from the game that has not run its program yet (a
// library's helper) has the game's handlers but is not the game: it takes
// the signal as a process without them would. Handed on to the main thread,
// a quit would come back to it for ever.
bool TakenByDefaultOutsideTheGame(int signal) {
    if (getpid() == g_gameProcess) return false;
    std::signal(signal, SIG_DFL);
    raise(signal);
    return true;
}

void OnQuitSignal(int signal) {
    if (TakenByDefaultOutsideTheGame(signal)) return;
    // The hook touches what only the main thread may (a running script);
    // the kernel hands a signal to any thread that does not block it.
    if (gettid() != g_mainThreadId) {
        pthread_kill(g_mainThread, signal);
        return;
    }
    if (g_quitRequested) {
        // A terminal that closes is nobody asking for the end now: the
        // level's end goes on, bounded by the watchdog.
        if (signal == SIGHUP) return;
        if (SecondsSince(g_firstSignalAt) < kQuitSignalEchoSeconds) return;
        // The first signal asks politely, a second one is final.
        std::signal(signal, SIG_DFL);
        raise(signal);
        return;
    }
    clock_gettime(CLOCK_MONOTONIC, &g_firstSignalAt);
    g_quitRequested = 1;
    g_quitSignal = signal;
    g_signalAfterTaken = g_quitTaken;
    ArmWatchdog();
    if (void (*hook)() = g_quitHook) hook();
}

// A write to a pipe or socket that nobody reads any more (the `tee` or
// `head` the output went to has ended with the job) fails with EPIPE and
// the game goes on, so that its level still ends. Caught rather than
// ignored: exec resets a caught signal, while an ignored one would be
// inherited by the commands the game runs (`yes | head` would misbehave).
void OnBrokenPipe(int signal) {
    TakenByDefaultOutsideTheGame(signal);
}

// A stop (Ctrl+Z, SIGSTOP) ends with SIGCONT: the watchdog's seconds count
// again from the resume. When its time ran out during the stop, the
// watchdog itself finds that it came late.
void OnContinue(int) {
    if (getpid() != g_gameProcess || g_watchdogEnding) return;
    if (alarm(0) != 0) ArmWatchdog();
}

// Only async-signal-safe calls here: the main thread may be anywhere,
// inside malloc or holding stdout's lock. Lines printed before are already
// out, as stdout is line-buffered. The line says what is known: how far the
// game got, not what held it. It is dropped when the output cannot take it
// now (a terminal stopped with Ctrl+S, a pipe nobody reads): the game ends
// on time whatever its output does, also when the write waits after all (a
// terminal with room for half the line), by the last alarm.
void OnWatchdog(int) {
    const int code = 128 + (g_quitSignal != 0 ? int(g_quitSignal) : SIGINT);
    if (g_watchdogEnding) _exit(code);
    // Due long before it came: the game did not run in between (its job was
    // stopped, the machine slept), and that time is not the game's.
    const double late = double(MonotonicNanoseconds() - g_watchdogArmedAt.load()) * 1e-9 -
                        kQuitSignalGraceSeconds;
    if (late > kWatchdogLateSeconds) {
        ArmWatchdog();
        return;
    }
    g_watchdogEnding = 1;
    alarm(1);
    static const char kNotBack[] =
        "The game did not end within 5 seconds of the quit signal: it did not get back to its "
        "main loop; ending it now.\n";
    static const char kNotEnded[] =
        "The game did not end within 5 seconds of taking the quit: its level's end or its "
        "shutdown went on; ending it now.\n";
    static const char kStillEnding[] =
        "The game did not end within 5 seconds of the quit signal: its level's end or its "
        "shutdown went on; ending it now.\n";
    static_assert(kQuitSignalGraceSeconds == 5, "the lines above name the seconds");
    const char* line = g_signalAfterTaken ? kStillEnding : g_quitTaken ? kNotEnded : kNotBack;
    WriteWithoutWaiting(STDOUT_FILENO, line, std::strlen(line));
    _exit(code);
}

}  // namespace

void InstallQuitSignals() {
    g_mainThread = pthread_self();
    g_mainThreadId = gettid();
    g_gameProcess = getpid();
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
    // The watchdog's last alarm interrupts its own handler.
    const struct {
        int signal;
        void (*handler)(int);
        int flags;
    } others[] = {{SIGPIPE, OnBrokenPipe, 0},
                  {SIGALRM, OnWatchdog, SA_NODEFER | SA_RESTART},
                  {SIGCONT, OnContinue, SA_RESTART}};
    for (const auto& other : others) {
        struct sigaction action {};
        action.sa_handler = other.handler;
        action.sa_flags = other.flags;
        sigemptyset(&action.sa_mask);
        sigaction(other.signal, &action, nullptr);
    }
}

bool QuitSignalReceived() {
    return g_quitRequested != 0;
}

void QuitTaken() {
    g_quitTaken = 1;
    if (g_quitRequested) ArmWatchdog();
}

void WriteWithoutWaiting(int descriptor, const char* text, size_t length) {
    pollfd output{descriptor, POLLOUT, 0};
    if (poll(&output, 1, 0) != 1 || !(output.revents & POLLOUT)) return;
    ssize_t written = write(descriptor, text, length);
    (void)written;
}

void SetQuitSignalHook(void (*hook)()) {
    g_quitHook = hook;
}
