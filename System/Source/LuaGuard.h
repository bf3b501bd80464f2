// How the engine enters Lua: one protected entry for every call it makes
// from outside a call of Lua's own (so that a finalizer raising on the way
// prints and the game goes on), and the guard that lets the quit signal
// stop a script stuck in a loop.
#pragma once

#include <lua.hpp>
#include <type_traits>

// Past this many errors in one protected collection, or in the retries of
// one ProtectLua, what is left is given up: finalizers that keep leaving
// new ones that raise would otherwise hold the game for ever.
constexpr int kMaxFinalizerErrors = 1000;

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
// back, and the function then runs in a protected call. An error while
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
// Makes the scripts, from now until CancelScriptInterrupt(), raise
// "<script>:<line>: interrupted" once they have gone on for about a million
// Lua instructions in all, counted from this call: the short scripts of a
// frame run to their end, and a level's many looping scripts cannot each
// take a grace of their own. Once raised on a thread, the error comes back
// at its every instruction, and at the next check (within a thousand
// instructions) of any other, so that a pcall cannot swallow it. Within one
// run the engine makes, it names the place of the first cut throughout.
// Async-signal-safe: the quit signal's handler calls it.
void InterruptRunningScript();
// Whether an interrupt stands (SleepGame wakes for it).
bool ScriptInterruptPending();
// Gives the scripts from now on a grace of their own again: the end of the
// level, once the quit is taken, so that a save there still works.
void RenewScriptGrace();
// Withdraws the interrupt.
void CancelScriptInterrupt();
// A new thread of the shared state; it stays on top of the shared state's
// stack, which keeps it alive until the caller pops it. Null (nothing
// pushed) when making it failed.
lua_State* NewLuaThread();

// Made with the shared state: the count hook, and the entry kept in the
// registry while nothing can raise. Forgotten as the state closes.
void PrepareLuaGuard(lua_State* L);
void ForgetLuaGuard();
