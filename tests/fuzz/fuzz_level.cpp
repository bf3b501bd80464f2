// A map file through the real level load: the console's "level" command
// loads it, a few frames run its scripts, physics and messages, then the
// next level ends it.
#include <cstddef>
#include <cstdint>

#include "FuzzEngine.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    Fuzz::StartEngineKeepingPaths(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Fuzz::WriteGameFile("Resources/Levels/fuzz.tmx", data, size);
    Fuzz::ConsoleLine("level GenericTileLevel fuzz.tmx");
    for (int i = 0; i < 4; ++i) Fuzz::Frame();
    Fuzz::ConsoleLine("level Level");
    return 0;
}
