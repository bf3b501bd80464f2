// The game's entry function.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "Game/Engine.h"
#include "Game/Registration.h"
#include "Platform/Signals.h"
#include "System/Source/LuaGuard.h"
#include "System/Source/LuaState.h"

namespace {

// A game started with standard output or error closed (`>&-`) would get
// those numbers for the next files it opens: the X connection would take the
// console's lines, a sound socket the error messages. Each of 0, 1 and 2
// that is closed is opened on /dev/null first, before anything else runs
// (the priority puts this ahead of every static initialiser).
__attribute__((constructor(101))) void OpenClosedStandardDescriptors() {
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened < 0 || opened == descriptor) continue;
        dup2(opened, descriptor);
        close(opened);
    }
}

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
    return ShutdownEngine();
}
