// The script registry: every Lua script file the engine runs is compiled
// once into a chunk held by the Lua registry and is known by its index. A
// watcher thread looks at the files' modification times once a second; the
// main loop recompiles the scripts that changed, so edits take effect while
// the game runs. Users keep the index and fetch the current chunk each time.
#pragma once

#include <cstdint>
#include <lua.hpp>

#include "System/Source/PoolAllocator.h"

namespace System {
class MetaBase;
}

// One script file. Times are file modification times in nanoseconds.
struct ScriptEntry {
    System::String path;   // as the caller gave it; the registry's key
    int64_t lastTime = 0;  // the version the reloader last took
    int64_t seenTime = 0;  // what the watcher saw on its last pass
    int reference = -1;    // Lua registry reference of the chunk, -1 for none
};

// Creates the empty registry and starts the watcher thread.
void CreateScriptRegistry();
// Stops the watcher (promptly, without waiting out its sleep), joins it and
// deletes the registry. The chunks stay in the Lua registry until the state
// is closed.
void StopScriptWatcher();

// The index of the entry for `path` (exact, byte-for-byte match). A new path
// gets a new entry, whose file is compiled at once; a failed compile prints
// its message and leaves the entry without a chunk. -1 only when no entry
// could be made.
int LoadScript(const char* path);
// Compiles the entry's file again; the new chunk replaces the old one only
// on success. Returns whether it did.
bool ReloadScript(int index);
// Once per frame: while the watcher reports changes, recompiles every entry
// whose file time differs from the version last taken (also when that
// compile fails, so a broken file is tried again only after its next save).
void ReloadChangedScripts();
// The watcher's changed flag.
bool ScriptsChanged();

// Pushes the entry's current chunk and returns true; pushes nothing and
// returns false when the entry has none (or there is no such entry).
bool PushScriptChunk(lua_State* L, int index);
// Runs the entry's current chunk from engine code (RunLuaScript): without
// arguments, or with `self` as its one argument (PushUserdata). A failed run
// prints "Lua Error: %s\n"; an entry without a chunk runs nothing.
void RunScriptChunk(int index);
void RunScriptChunk(int index, System::MetaBase* self);
// A copy of entry `index`; false when there is no such entry.
bool GetScriptEntry(int index, ScriptEntry& out);
int ScriptCount();

// One pass of the watcher, run on the calling thread.
void RunScriptWatcherPass();

// Lua global "DoScript" (path): the script's chunk, not run, or nil when the
// script has none. The path is the last argument.
int LuaDoScript(lua_State* L);
