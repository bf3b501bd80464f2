// The game's entry function.
#include <cstdio>

#include "System/Source/Engine.h"
#include "System/Source/Registration.h"

namespace {
// Everything found by name is registered, in its fixed order, before main.
const bool registered = (RunStaticRegistration(), true);
}  // namespace

int main(int argc, char**) {
    (void)registered;
    // Messages reach a log file or pipe line by line, as they happen.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int code = StartEngine(argc);
    if (code != 0) return code;
    ShutdownEngine();
    return 0;
}
