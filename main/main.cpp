// The game's entry function.
#include "System/Source/Engine.h"
#include "System/Source/Registration.h"

namespace {
// Everything found by name is registered, in its fixed order, before main.
const bool registered = (RunStaticRegistration(), true);
}  // namespace

int main(int argc, char**) {
    (void)registered;
    int code = StartEngine(argc);
    if (code != 0) return code;
    ShutdownEngine();
    return 0;
}
