// The engine core without a window or a memory pool, for the fuzz targets:
// a private game folder with small scripts of our own, the registrations,
// the object tables, the message queue, the script registry, Lua, the state
// manager and the physics world. Every block comes from the heap, so the
// address sanitizer sees each one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Fuzz {

// Makes the game folder, enters it and starts the engine core (once).
void StartEngine();

// For LLVMFuzzerInitialize: turns the relative paths among the fuzzer's
// arguments (corpus folders, inputs, the dictionary, the artifact prefix)
// into absolute ones, since the engine works in its own game folder, then
// starts it.
void StartEngineKeepingPaths(int* argc, char*** argv);

// Writes `size` bytes to `path` inside the game folder.
void WriteGameFile(const std::string& path, const uint8_t* data, std::size_t size);

// One pass of the main loop, with a fixed time step.
void Frame();

// Runs a console line as the console does, then one frame so that a state
// change it asked for happens.
void ConsoleLine(const std::string& line);

}  // namespace Fuzz
