#include "Platform/Signals.h"

#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <utility>

namespace {

constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Shared by the handlers, the main loop and the watchdog's thread: atomics
// that need no lock are safe in all three.
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free);
std::atomic<int> g_quitRequested{0};
std::atomic<int> g_quitSignal{0};
std::atomic<int> g_quitTaken{0};
// Whether the main loop had taken a quit (the window's close, a script's)
// when the first signal arrived.
std::atomic<int> g_signalAfterTaken{0};
// When the first signal arrived. Only the handler touches it, on the main
// thread, with the other quit signals blocked.
timespec g_firstSignalAt{};
void (*volatile g_quitHook)() = nullptr;
// The watchdog's count starts again from here: the first signal, the main
// loop's taking of the quit after it, a resume. In nanoseconds of the boot
// clock (a machine that slept is a stop too); 0 until the first signal.
std::atomic<int64_t> g_watchdogArmedAt{0};
// Resumes (SIGCONT) so far, whichever thread took them.
std::atomic<unsigned> g_resumes{0};
std::atomic<int> g_watchdogEnding{0};
std::atomic<int> g_watchdogCode{0};
// Posted when the count first starts; the watchdog's thread waits on it.
sem_t g_watchdogArmed;
pthread_t g_mainThread;
pid_t g_mainThreadId = 0;
pid_t g_gameProcess = 0;

double SecondsSince(const timespec& then) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec - then.tv_sec) + double(now.tv_nsec - then.tv_nsec) * 1e-9;
}

int64_t BootNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// From a handler too: both calls are async-signal-safe.
void ArmWatchdog() {
    const bool first = g_watchdogArmedAt.exchange(BootNanoseconds()) == 0;
    if (first) sem_post(&g_watchdogArmed);
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
    g_signalAfterTaken = g_quitTaken.load();
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
// again from the resume.
void OnContinue(int) {
    if (getpid() != g_gameProcess) return;
    g_resumes.fetch_add(1);
}

// The watchdog's last alarm: its line could not be written at once after
// all (a terminal with room for half of it).
void OnLastAlarm(int) {
    if (g_watchdogEnding) _exit(g_watchdogCode);
}

// Only async-signal-safe calls here: the main thread may be anywhere,
// inside malloc or holding stdout's lock. Lines printed before are already
// out, as stdout is line-buffered. The line says what is known: how far the
// game got, not what held it. It is dropped when the output cannot take it
// now (a terminal stopped with Ctrl+S, a pipe nobody reads): the game ends
// on time whatever its output does, also when the write waits after all, by
// the last alarm.
[[noreturn]] void EndByWatchdog() {
    g_watchdogCode = 128 + (g_quitSignal != 0 ? int(g_quitSignal) : SIGINT);
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
    _exit(g_watchdogCode);
}

// A thread of its own, with every signal blocked, counts the seconds in
// short steps. A stop (Ctrl+Z, SIGSTOP to the job or to the game alone, a
// machine that slept) holds it too, so its count can tell: a step that took
// far longer than it asked for, or a resume that came meanwhile, starts the
// count again, whenever in the count the stop began or ended. An alarm
// cannot tell so: one that ran out while the game was stopped is taken at
// the resume, before or after the resume's own signal, on any thread.
void* Watch(void*) {
    while (sem_wait(&g_watchdogArmed) != 0) {
    }
    constexpr int64_t kStep = kWatchdogStepSeconds * 1e9;
    constexpr int64_t kStopped = kWatchdogStopSeconds * 1e9;
    constexpr int64_t kGrace = int64_t(kQuitSignalGraceSeconds) * 1000000000;
    int64_t countFrom = g_watchdogArmedAt.load();
    int64_t last = BootNanoseconds();
    unsigned resumes = g_resumes.load();
    bool due = false;
    sigset_t continued;
    sigemptyset(&continued);
    for (;;) {
        const timespec step{0, long(kStep)};
        clock_nanosleep(CLOCK_BOOTTIME, 0, &step, nullptr);
        const int64_t now = BootNanoseconds();
        // A resume whose handler has not run yet still shows as pending.
        sigpending(&continued);
        if (now - last > kStopped || g_resumes.load() != resumes ||
            sigismember(&continued, SIGCONT) == 1) {
            countFrom = now;
            resumes = g_resumes.load();
        }
        last = now;
        countFrom = std::max(countFrom, g_watchdogArmedAt.load());
        // Found due twice: at a resume every thread wakes at once, and the
        // one that took SIGCONT may not have run its handler yet.
        if (now - countFrom < kGrace) {
            due = false;
        } else if (due) {
            EndByWatchdog();
        } else {
            due = true;
        }
    }
}

// Started once, with every signal blocked: it inherits that mask, and no
// signal meant for the game can land on it.
void StartWatchdog() {
    static bool started = false;
    if (started) return;
    started = true;
    sem_init(&g_watchdogArmed, 0, 0);
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t watchdog;
    if (pthread_create(&watchdog, nullptr, Watch, nullptr) == 0) {
        pthread_setname_np(watchdog, "watchdog");
        pthread_detach(watchdog);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace

void InstallQuitSignals() {
    StartWatchdog();
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
    const struct {
        int signal;
        void (*handler)(int);
        int flags;
    } others[] = {{SIGPIPE, OnBrokenPipe, 0},
                  {SIGALRM, OnLastAlarm, SA_RESTART},
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
