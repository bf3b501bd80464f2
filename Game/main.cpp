// The game's entry function.
#include <cstdio>

#include "Game/Engine.h"
#include "Game/Registration.h"
#include "Platform/Signals.h"
#include "System/Source/LuaGuard.h"
#include "System/Source/LuaState.h"

namespace {
// Everything found by name is registered, in its fixed order, before main.
const bool registered = (RunStaticRegistration(), true);
}  // namespace

int main(int argc, char** argv) {
    (void)registered;
    // Messages reach a log file or pipe line by line, as they happen.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A signal while a script is stuck in a loop stops that script, so that
    // the quit reaches the main loop.
    SetQuitSignalHook(InterruptRunningScript);
    InstallQuitSignals();
    int code = StartEngine(argc, argv);
    if (code != 0) return code;
    ShutdownEngine();
    return 0;
}
