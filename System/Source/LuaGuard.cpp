#include "System/Source/LuaGuard.h"

#include <atomic>

#include "System/Source/LuaState.h"

namespace {

// Every Lua thread checks for an interrupt this often, in instructions: the
// hook is installed on the shared state before any script runs, and every
// coroutine inherits it from the thread that creates it.
constexpr int kInterruptCheckEvery = 1000;
// Checks a run gets after the interrupt before it is cut: about a million
// instructions, a few milliseconds.
constexpr unsigned kInterruptGraceChecks = 1000;

// Set from the signal handler, possibly on another thread: lock-free atomics
// only. The rest is the main thread's.
std::atomic<bool> g_interruptStands{false};
static_assert(std::atomic<bool>::is_always_lock_free);
int g_runDepth = 0;
unsigned g_checksThisRun = 0;

void InterruptHook(lua_State* L, lua_Debug*) {
    if (g_interruptStands.load(std::memory_order_relaxed) &&
        ++g_checksThisRun > kInterruptGraceChecks) {
        // Every instruction of this thread from now on: a pcall that catches
        // the error gets back no more than one instruction.
        lua_sethook(L, InterruptHook, LUA_MASKCOUNT, 1);
        // Level 0 inside a hook is the Lua function that is running.
        luaL_where(L, 0);
        lua_pushliteral(L, "interrupted");
        lua_concat(L, 2);
        lua_error(L);
    }
    if (lua_gethookcount(L) != kInterruptCheckEvery) {
        lua_sethook(L, InterruptHook, LUA_MASKCOUNT, kInterruptCheckEvery);
    }
}

}  // namespace

namespace {

// The engine's way into Lua from outside a Lua call: a C function that runs
// the body it is handed and returns what the body pushed. It is made with
// the state, while nothing can raise, and kept in the registry, so that a
// call allocates nothing before its protected call begins (lua_cpcall
// would make a new closure each time, and the function to run is pushed
// inside, its arguments too).
int g_entryRef = LUA_NOREF;
// The one call the entry accepts; scripts can reach the entry as well
// (debug.getregistry), and it takes no other.
const void* g_entering = nullptr;

struct ProtectedBody {
    void (*body)(lua_State* L, void* data);
    void* data;
    bool entered;
    bool returned;
};

int EnterLua(lua_State* L) {
    auto* call = static_cast<ProtectedBody*>(lua_touserdata(L, 1));
    if (!call || call != g_entering) return 0;
    g_entering = nullptr;
    lua_settop(L, 0);
    call->entered = true;
    call->body(L, call->data);
    call->returned = true;
    return lua_gettop(L);
}

int AnchorEntry(lua_State* L) {
    lua_pushcfunction(L, EnterLua);
    lua_rawseti(L, LUA_REGISTRYINDEX, g_entryRef);
    return 0;
}

// Pushes the entry. A script may have replaced it in the registry; it is
// then made again in a protected call of its own. False (nothing pushed,
// the error printed) when that failed.
bool PushEntry(lua_State* L) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, g_entryRef);
    if (lua_tocfunction(L, -1) == EnterLua) return true;
    lua_pop(L, 1);
    if (lua_cpcall(L, AnchorEntry, nullptr) != 0) {
        PrintLuaError(L);
        lua_pop(L, 1);
        return false;
    }
    lua_rawgeti(L, LUA_REGISTRYINDEX, g_entryRef);
    return true;
}

// ProtectLua's tries. With `results`, what `body` pushed stays on the stack
// when it returns true, and a try whose results an error took is made
// again; otherwise the stack is left to the caller to restore.
bool CallProtected(lua_State* L, void (*body)(lua_State* L, void* data), void* data, int attempts,
                   bool results) {
    const int top = lua_gettop(L);
    if (!lua_checkstack(L, 2)) return false;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!PushEntry(L)) continue;
        ProtectedBody call{body, data, false, false};
        lua_pushlightuserdata(L, &call);
        g_entering = &call;
        const int status = lua_pcall(L, 1, LUA_MULTRET, 0);
        g_entering = nullptr;
        if (status == 0) return true;
        PrintLuaError(L);
        lua_settop(L, top);
        if (call.returned && !results) return true;
        // Refused before `body` began (C calls nested too deeply): so would
        // the next try be.
        if (!call.entered) return false;
    }
    return false;
}

struct ScriptPush {
    int (*push)(lua_State* L, void* data);
    void* data;
    int arguments;
};

void PushScriptBody(lua_State* L, void* data) {
    ScriptPush& run = *static_cast<ScriptPush*>(data);
    run.arguments = run.push(L, run.data);
    if (run.arguments < 0) lua_settop(L, 0);
}

}  // namespace

void PrepareLuaGuard(lua_State* L) {
    lua_sethook(L, InterruptHook, LUA_MASKCOUNT, kInterruptCheckEvery);
    lua_pushcfunction(L, EnterLua);
    g_entryRef = luaL_ref(L, LUA_REGISTRYINDEX);
}

void ForgetLuaGuard() {
    g_entryRef = LUA_NOREF;
}

int CallLuaScript(lua_State* L, int arguments, int results) {
    if (g_runDepth++ == 0) g_checksThisRun = 0;
    int status = lua_pcall(L, arguments, results, 0);
    --g_runDepth;
    return status;
}

bool ProtectLua(lua_State* L, void (*body)(lua_State* L, void* data), void* data, int attempts) {
    const int top = lua_gettop(L);
    const bool ran = CallProtected(L, body, data, attempts, false);
    lua_settop(L, top);
    return ran;
}

int RunLuaScript(lua_State* L, int (*push)(lua_State* L, void* data), void* data,
                 const char* errorPrefix) {
    const int top = lua_gettop(L);
    ScriptPush run{push, data, -1};
    int status = -1;
    // What the push left is on the stack: the function and its arguments.
    if (CallProtected(L, PushScriptBody, &run, kMaxFinalizerErrors, true) && run.arguments >= 0) {
        status = CallLuaScript(L, run.arguments, LUA_MULTRET);
        if (status != 0) {
            PrintLuaErrorAs(L, errorPrefix);
        }
    }
    lua_settop(L, top);
    return status;
}

void InterruptRunningScript() {
    g_interruptStands.store(true);
}

bool ScriptInterruptPending() {
    return g_interruptStands.load();
}

void CancelScriptInterrupt() {
    g_interruptStands.store(false);
}

lua_State* NewLuaThread() {
    lua_State* L = GetLuaState();
    const int top = lua_gettop(L);
    const auto make = [](lua_State* S, void*) { lua_newthread(S); };
    if (!CallProtected(L, make, nullptr, kMaxFinalizerErrors, true)) {
        lua_settop(L, top);
        return nullptr;
    }
    return lua_tothread(L, -1);
}
