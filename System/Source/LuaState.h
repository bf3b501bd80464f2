// The engine's one Lua state and the bridge between Lua values and reflected
// values: registering global functions, reading arguments, pushing results
// and objects, printing errors and the stack, and running the global scripts.
#pragma once

#include <exception>
#include <lua.hpp>
#include <new>
#include <string>
#include <type_traits>

#include "System/Source/Components/Meta.h"

class ConsoleArgs;

// The global scripts the engine runs at fixed moments.
extern const char* const kLuaGlobalsScript;    // "Resources/Lua/Globals/LuaGlobals.lua"
extern const char* const kTeleportScript;      // "Resources/Lua/Globals/Teleport.lua"
extern const char* const kStartOfLevelScript;  // "Resources/Lua/Globals/StartOfLevel.lua"
extern const char* const kEndOfLevelScript;    // "Resources/Lua/Globals/EndOfLevel.lua"

// The shared state, created on first need (standard libraries opened,
// PrintLuaError as panic function). Main thread only.
lua_State* GetLuaState();
// Replaces `library`.`name` with `function`, which finds the library's own
// as its upvalue 1; nothing when there is no such library.
void ReplaceLibraryFunction(lua_State* L, const char* library, const char* name,
                            lua_CFunction function);
// The shared state, or null when there is none (never creates it).
lua_State* PeekLuaState();

// What a registration leaves behind: an empty record whose initialisation
// is the registration, so that a static record registers before main.
struct LuaRegistration {};

// Sets the Lua global `name` to `function` (called guarded, below); a later
// registration under the same name replaces the earlier one.
LuaRegistration RegisterLuaFunction(lua_CFunction function, const char* name);

// True while CloseLua runs: the finalizers that Lua runs then come after
// the engine has freed much of what its functions reach, so every engine
// function, method and property refuses them ("the game has ended").
extern bool g_luaClosing;

// Calls `function` so that an exception of the engine's code (the heap is
// exhausted, a container refuses) reaches the script as an ordinary error
// message. Lua's own handler would turn it into an error without a message.
// Inline, so that every Guarded<F> calls its F directly.
inline int CallGuarded(lua_State* L, lua_CFunction function) {
    if (g_luaClosing) return luaL_error(L, "the game has ended");
    // The error is raised after the handler is left: a Lua error is a C++
    // exception too, and the caught one must be gone before it is thrown.
    std::string message;
    try {
        return function(L);
    } catch (const std::bad_alloc&) {
        message = "not enough memory";
    } catch (const std::exception& e) {
        message = e.what();
    }
    return luaL_error(L, "%s", message.c_str());
}
template <lua_CFunction F>
int Guarded(lua_State* L) {
    return CallGuarded(L, F);
}
// Pushes a closure that calls `function` guarded. The closure's upvalue 1
// holds `function`; the `upvalues` values on top of the stack become its
// upvalues 2 onwards, which `function` reads as its own.
void PushGuarded(lua_State* L, lua_CFunction function, int upvalues = 0);

// A full collection of the shared state inside a protected call. A
// finalizer that raises prints "Lua Error: %s\n" and the collection goes on
// with the others. The engine runs one as the main loop ends, while every
// engine object a finalizer can reach still lives.
void CollectLuaGarbage();
// A full collection as above, then closes the shared state. A later
// GetLuaState() creates a fresh one (tests rely on that; class tables must
// then be registered again).
void CloseLua();

// The arguments of a global function as reflected values: booleans as bool,
// numbers as double, strings as "char const *", userdata as "void *".
// Values of other types are dropped with a message. `out` is cleared first.
void ReadLuaArguments(lua_State* L, System::MetaArgs& out);
// The same in a new vector that the caller deletes.
System::MetaArgs* ReadLuaArguments(lua_State* L);
// The same, handed back by value.
System::MetaArgs ReadLuaArgumentValues(lua_State* L);

// The text at `index` where a script passes a text: a string, or a number
// as Lua writes it (the slot becomes that string); null for anything else.
const char* LuaTextArgument(lua_State* L, int index, size_t* length = nullptr);

// Pushes exactly one Lua value for a reflected value (a method's result).
// Truth values arrive as the numbers 1 and 0.
void PushLuaValue(lua_State* L, const MetaValue& value);
// Pushes exactly one Lua value for what a property refers to.
void PushLuaValues(lua_State* L, const MetaValue& reference);
// Pushes the thread that a run-time property anchors under registry
// reference `ref`, or nil when that reference holds it no longer (a script
// can clear any reference through debug.getregistry(), and the thread may
// have been freed since): `thread` is compared, never followed.
void PushAnchoredThread(lua_State* L, int ref, const void* thread);
// Pushes a userdata holding the object, with the metatable registered under
// the object's type name (none when that class has no table). A null object
// gets a new empty metatable. A null state means the shared state.
void PushUserdata(lua_State* L, System::MetaBase* object);

// Prints "Lua Error: %s\n" with the value on top of the stack; returns -1.
// Also the shared state's panic function.
int PrintLuaError(lua_State* L);
// The same with another prefix in place of "Lua Error".
void PrintLuaErrorAs(lua_State* L, const char* prefix);
// luaL_loadfile of the resolved `path`; a folder or other non-file is
// refused as a file that cannot be opened (LUA_ERRFILE), with the path in
// the message. An error that a finalizer raised while the file compiled is
// raised again (so call it inside ProtectLua, which prints it and retries).
int LoadLuaFile(lua_State* L, const std::string& path);
// Prints the message for a failed luaL_loadfile (`status`), with the error
// text on top of the stack of `L` (the shared state when null).
void ReportLoadError(int status, const char* path, lua_State* L = nullptr);
// Prints every value of the stack, from the top down.
void DumpLuaStack(lua_State* L);

// Compiles and runs "Resources/Lua/" + name (the name carries its own
// extension); a failed run prints "Lua Syntax Error: %s\n".
void RunLuaFile(const char* name);
// True when entry n of the global table PLAYER_LIST is a userdata. An error
// of a script's metamethod on the way prints "Lua Error: %s\n" (false).
bool HasPlayer(int n);
// Lua global "stackdump": prints the caller's stack.
int LuaStackDump(lua_State* L);

// How deep scripts that the console starts (the `lua` command, also from a
// button's command line, and the global scripts) may nest by running such
// commands in turn. Lua itself gives out near 200 levels, with a misleading
// "chunk has too many syntax levels"; this leaves room below that for what
// every level runs besides.
constexpr int kMaxScriptNesting = 50;

// Counts one level of console-started scripts while it lives. A level past
// kMaxScriptNesting is refused: it prints "Lua Error: <what>: scripts nested
// too deeply (N levels)" and the caller runs nothing.
class ScriptNesting {
public:
    explicit ScriptNesting(const std::string& what);
    ~ScriptNesting();
    ScriptNesting(const ScriptNesting&) = delete;
    ScriptNesting& operator=(const ScriptNesting&) = delete;
    bool Refused() const { return refused_; }

private:
    bool refused_;
};

// Console commands.
void ConsoleLua(ConsoleArgs& args);  // lua <script name>
