#include "Platform/WindowSystemGuard.h"

#include <unistd.h>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS};
struct sigaction g_before[std::size(kCrashSignals)];
ConnectionLoss g_loss;
volatile std::sig_atomic_t g_guarding = 0;
volatile std::sig_atomic_t g_guardingStart = 0;
volatile std::sig_atomic_t g_inCall = 0;
volatile std::sig_atomic_t g_callLeft = 0;
pid_t g_guardThread = 0;
sigjmp_buf g_callJump;

void RestoreBefore() {
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
        sigaction(kCrashSignals[i], &g_before[i], nullptr);
    }
}

// Positive codes come from the kernel, for a fault; a process's kill,
// tgkill or sigqueue gives 0 or less.
void OnCrash(int signal, siginfo_t* info, void*) {
    const bool fault = info != nullptr && info->si_code > 0;
    if (fault && g_loss.happened() && gettid() == g_guardThread) {
        if (g_inCall) {
            g_loss.note();
            LeaveWindowSystemCall();
        }
        if (g_guardingStart) {
            g_loss.note();
            _exit(1);
        }
    }
    RestoreBefore();
    if (!fault) raise(signal);
}

// The exit runs the libraries' own exit code, and that of the GL dispatch
// library asks Xlib again: after a call was left, Xlib's lock on the
// connection may still be held, and the exit would wait for it for ever.
// What the game wrote is flushed; the rest of the exit is skipped. A script's
// os.exit comes here too.
void SkipTheLibrariesExit(int status, void*) {
    if (!g_callLeft) return;
    std::fflush(nullptr);
    _exit(status);
}

}  // namespace

// The handler stays from the start to the window system's end, so that a
// call in play (several each frame) costs no system call.
void GuardTheStart(const ConnectionLoss& loss) {
    if (!loss.happened || !loss.note || g_guarding) return;
    if (!g_loss.happened) on_exit(SkipTheLibrariesExit, nullptr);
    g_loss = loss;
    g_guardThread = gettid();
    struct sigaction guard {};
    guard.sa_sigaction = OnCrash;
    guard.sa_flags = SA_SIGINFO;
    sigemptyset(&guard.sa_mask);
    for (size_t i = 0; i < std::size(kCrashSignals); ++i) {
        sigaction(kCrashSignals[i], &guard, &g_before[i]);
    }
    g_guarding = 1;
    g_guardingStart = 1;
}

void EndStartGuard() {
    g_guardingStart = 0;
}

void EndWindowSystemGuard() {
    if (!g_guarding) return;
    g_guarding = 0;
    g_guardingStart = 0;
    RestoreBefore();
}

bool CallWindowSystem(void (*call)(void*), void* data) {
    if (g_callLeft) return false;
    if (!g_guarding || g_guardingStart || g_inCall) {
        call(data);
        return true;
    }
    // No mask is saved (a system call each time): the way back from the
    // handler unblocks its signals itself.
    if (sigsetjmp(g_callJump, 0) != 0) {
        g_inCall = 0;
        sigset_t crash;
        sigemptyset(&crash);
        for (int signal : kCrashSignals) sigaddset(&crash, signal);
        pthread_sigmask(SIG_UNBLOCK, &crash, nullptr);
        return false;
    }
    g_inCall = 1;
    call(data);
    g_inCall = 0;
    return true;
}

bool WindowSystemCallLeft() {
    return g_callLeft != 0;
}

void LeaveWindowSystemCall() {
    if (!g_inCall || gettid() != g_guardThread) return;
    g_callLeft = 1;
    siglongjmp(g_callJump, 1);
}
