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

// Past this many errors in one protected collection, or in the retries of
// one ProtectLua, what is left is given up: finalizers that keep leaving
// new ones that raise would otherwise hold the game for ever.
constexpr int kMaxFinalizerErrors = 1000;

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

// lua_pcall for the engine's own runs of a script (a global script, an
// object's or a level's script, a console-run file). Every run, nested ones
// included, goes through it: an interrupt is measured per outermost run.
int CallLuaScript(lua_State* L, int arguments, int results);

// Engine code that calls into Lua from outside a call that Lua itself makes
// (the main loop, a level load, a console line) does so through ProtectLua.
// Any allocation of Lua may take a collection step, which runs `__gc`
// finalizers; an error one raises with no protected call around it would
// reach the panic function, and Lua would end the process.
// `body` runs inside one protected call, on a stack of its own (results go
// through what it captures). An error raised in it
// prints "Lua Error: %s\n" and `body` runs again, `attempts` times at most
// in all: Lua takes a finalizer off its list before running it, so each try
// meets one fewer. An error raised before `body` began (C calls nested too
// deeply) or after it returned (a collection step as the call ends) is
// printed only. The stack top is as it was.
// Returns whether `body` ran to its end.
bool ProtectLua(lua_State* L, void (*body)(lua_State* L, void* data), void* data,
                int attempts = kMaxFinalizerErrors);
template <class Body>
bool ProtectLua(lua_State* L, Body&& body, int attempts = kMaxFinalizerErrors) {
    using B = std::remove_reference_t<Body>;
    return ProtectLua(
        L, [](lua_State* S, void* b) { (*static_cast<B*>(b))(S); }, &body, attempts);
}

// Runs a script from engine code: `push` pushes the function and its
// arguments and returns how many arguments it pushed, or -1 to run nothing
// (having printed why); the pushes are made inside ProtectLua and handed
// back, and the function then runs through CallLuaScript. An error while
// the arguments are made starts them again; the script runs once at most.
// A failed run prints "<errorPrefix>: %s\n" with the error.
// Returns the run's status, or -1 when nothing ran.
int RunLuaScript(lua_State* L, int (*push)(lua_State* L, void* data), void* data,
                 const char* errorPrefix = "Lua Error");
template <class Push>
int RunLuaScript(lua_State* L, Push&& push, const char* errorPrefix = "Lua Error") {
    using P = std::remove_reference_t<Push>;
    return RunLuaScript(
        L, [](lua_State* S, void* p) { return (*static_cast<P*>(p))(S); }, &push, errorPrefix);
}
// Makes every script run, from now until CancelScriptInterrupt(), raise
// "<script>:<line>: interrupted" once it has gone on for about a million
// Lua instructions: the run going on now counts from this call, a later
// one from its start, so the short scripts of a frame run to their end.
// Once raised, the error comes back at every instruction of that run, in
// every coroutine, so that a pcall cannot swallow it. Async-signal-safe:
// the quit signal's handler calls it.
void InterruptRunningScript();
// Whether an interrupt stands (SleepGame wakes for it).
bool ScriptInterruptPending();
// Withdraws the interrupt, so that the scripts of the quit itself (the
// end-of-level script) run to their end.
void CancelScriptInterrupt();
// Compiles and runs "Resources/Lua/" + name (the name carries its own
// extension); a failed run prints "Lua Syntax Error: %s\n".
void RunLuaFile(const char* name);
// True when entry n of the global table PLAYER_LIST is a userdata. An error
// of a script's metamethod on the way prints "Lua Error: %s\n" (false).
bool HasPlayer(int n);
// A new thread of the shared state; it stays on top of the shared state's
// stack, which keeps it alive until the caller pops it. Null (nothing
// pushed) when making it failed.
lua_State* NewLuaThread();

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
void ConsoleLua(ConsoleArgs& args);           // lua <script name>
