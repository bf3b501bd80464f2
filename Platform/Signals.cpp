#include "Platform/Signals.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_quitRequested = 0;
void (*volatile g_quitHook)() = nullptr;

void OnQuitSignal(int) {
    g_quitRequested = 1;
    if (void (*hook)() = g_quitHook) hook();
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
}

bool QuitSignalReceived() {
    return g_quitRequested != 0;
}

void SetQuitSignalHook(void (*hook)()) {
    g_quitHook = hook;
}
