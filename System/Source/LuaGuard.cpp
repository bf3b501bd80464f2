#include "System/Source/LuaGuard.h"

#include <atomic>

#include "System/Source/LuaState.h"

namespace {

// The guard costs nothing until the quit signal: no hook runs in normal
// play. The signal arms a count hook on every Lua thread whose instructions
// are running then (the main thread and the coroutines being resumed), the
// resume functions arm a coroutine they resume afterwards, and a coroutine
// made afterwards inherits the hook of the thread that makes it.
// lua_sethook is made to be called from a signal handler.
constexpr int kInterruptCheckEvery = 1000;
// Checks a run gets after the interrupt before it is cut: about a million
// instructions, a few milliseconds.
constexpr unsigned kInterruptGraceChecks = 1000;

// Written by the signal handler or read by it: lock-free atomics only.
std::atomic<bool> g_interruptStands{false};
std::atomic<unsigned> g_checksThisRun{0};
std::atomic<lua_State*> g_mainThread{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<unsigned>::is_always_lock_free);
static_assert(std::atomic<lua_State*>::is_always_lock_free);
int g_runDepth = 0;

// The coroutines being resumed now, outermost first. An entry is written
// before the count that covers it, so the handler never reads a half-made
// one. Deeper nesting than this (Lua's C stack gives out near 200) is not
// listed: such a coroutine is armed as it is resumed, and its hook does
// nothing until a signal.
constexpr int kMaxListedResumes = 256;
std::atomic<lua_State*> g_resuming[kMaxListedResumes];
std::atomic<int> g_resumingCount{0};

// Whether the run going on now has been cut: from then on, no error handler
// of a script runs either (xpcall's), as one called for the cut would run
// where Lua allows no hook.
bool RunIsCut() {
    return g_interruptStands.load(std::memory_order_relaxed) &&
           g_checksThisRun.load(std::memory_order_relaxed) > kInterruptGraceChecks;
}

void InterruptHook(lua_State* L, lua_Debug*);

void Arm(lua_State* L) {
    lua_sethook(L, InterruptHook, LUA_MASKCOUNT, kInterruptCheckEvery);
}

void InterruptHook(lua_State* L, lua_Debug*) {
    if (!g_interruptStands.load(std::memory_order_relaxed)) return;
    if (g_checksThisRun.fetch_add(1, std::memory_order_relaxed) + 1 > kInterruptGraceChecks) {
        // Every instruction of this thread from now on: a pcall that catches
        // the error gets back no more than one instruction.
        lua_sethook(L, InterruptHook, LUA_MASKCOUNT, 1);
        // Level 0 inside a hook is the Lua function that is running.
        luaL_where(L, 0);
        lua_pushliteral(L, "interrupted");
        lua_concat(L, 2);
        lua_error(L);
    }
    if (lua_gethookcount(L) != kInterruptCheckEvery) Arm(L);
}

// Lists a coroutine for the signal handler while it is being resumed, and
// arms it when an interrupt stands already.
class Resuming {
public:
    // The signal handler runs on the main thread (the quit signal is handed
    // on to it), between two instructions of this one: relaxed accesses
    // kept in order by signal fences suffice, and cost no more than plain
    // ones.
    explicit Resuming(lua_State* co) {
        const int n = g_resumingCount.load(std::memory_order_relaxed);
        listed_ = n < kMaxListedResumes;
        if (listed_) {
            g_resuming[n].store(co, std::memory_order_relaxed);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            g_resumingCount.store(n + 1, std::memory_order_relaxed);
            std::atomic_signal_fence(std::memory_order_seq_cst);
        }
        if (!listed_ || g_interruptStands.load(std::memory_order_relaxed)) Arm(co);
    }
    ~Resuming() {
        if (listed_) {
            g_resumingCount.store(g_resumingCount.load(std::memory_order_relaxed) - 1,
                                  std::memory_order_relaxed);
        }
    }
    Resuming(const Resuming&) = delete;
    Resuming& operator=(const Resuming&) = delete;

private:
    bool listed_;
};

// Resumes the coroutine at index 1 through Lua's own resume (at `resume`),
// with the coroutine listed; leaves what resume gives back.
int ResumeThrough(lua_State* L, int resume) {
    Resuming resuming(lua_tothread(L, 1));
    lua_pushvalue(L, resume);
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// coroutine.resume: Lua's own (upvalue 1), with the coroutine listed.
int ResumeListed(lua_State* L) {
    luaL_argcheck(L, lua_tothread(L, 1), 1, "coroutine expected");
    return ResumeThrough(L, lua_upvalueindex(1));
}

// The function coroutine.wrap hands out: upvalue 1 the coroutine, 2 Lua's
// own resume. An error comes back raised, with the caller's place in front
// when it is a text, as Lua's own wrap does.
int WrappedResume(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    const int results = ResumeThrough(L, lua_upvalueindex(2));
    if (lua_toboolean(L, 1)) return results - 1;
    lua_settop(L, 2);
    if (lua_isstring(L, 2)) {
        luaL_where(L, 1);
        lua_insert(L, 2);
        lua_concat(L, 2);
    }
    return lua_error(L);
}

// coroutine.wrap, with upvalue 1 Lua's own resume.
int WrapListed(lua_State* L) {
    luaL_argcheck(L, lua_isfunction(L, 1) && !lua_iscfunction(L, 1), 1, "Lua function expected");
    lua_State* co = lua_newthread(L);
    lua_pushvalue(L, 1);
    lua_xmove(L, co, 1);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_pushcclosure(L, WrappedResume, 2);
    return 1;
}

// The message handler xpcall installs: the script's own (upvalue 1), unless
// the run has been cut, when the message goes on as it is.
int HandleUnlessCut(lua_State* L) {
    if (RunIsCut()) return 1;
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 1);
    return 1;
}

// xpcall(f, handler), with a Lua handler behind HandleUnlessCut. A C one
// (debug.traceback, most often) runs no loop of its own and is left as it
// is, so that its traceback starts where the error was raised.
int XpcallUnlessCut(lua_State* L) {
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    if (!lua_iscfunction(L, 2)) lua_pushcclosure(L, HandleUnlessCut, 1);
    lua_insert(L, 1);
    const int status = lua_pcall(L, 0, LUA_MULTRET, 1);
    lua_pushboolean(L, status == 0);
    lua_replace(L, 1);
    return lua_gettop(L);
}

void ListResumes(lua_State* L) {
    lua_getglobal(L, "coroutine");
    if (lua_istable(L, -1)) {
        lua_getfield(L, -1, "resume");
        lua_pushcclosure(L, WrapListed, 1);
        lua_setfield(L, -2, "wrap");
    }
    lua_pop(L, 1);
    ReplaceLibraryFunction(L, "coroutine", "resume", ResumeListed);
    lua_pushcfunction(L, XpcallUnlessCut);
    lua_setglobal(L, "xpcall");
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
    ListResumes(L);
    g_mainThread.store(L);
    lua_pushcfunction(L, EnterLua);
    g_entryRef = luaL_ref(L, LUA_REGISTRYINDEX);
}

void ForgetLuaGuard() {
    g_mainThread.store(nullptr);
    g_entryRef = LUA_NOREF;
}

int CallLuaScript(lua_State* L, int arguments, int results) {
    if (g_runDepth++ == 0) g_checksThisRun.store(0, std::memory_order_relaxed);
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
    // The run going on now counts its grace from here.
    if (!g_interruptStands.exchange(true)) g_checksThisRun.store(0);
    if (lua_State* L = g_mainThread.load()) Arm(L);
    const int n = g_resumingCount.load();
    for (int i = 0; i < n; ++i) Arm(g_resuming[i].load());
}

bool ScriptInterruptPending() {
    return g_interruptStands.load();
}

void CancelScriptInterrupt() {
    g_interruptStands.store(false);
    // Coroutines that were armed keep a hook that does nothing now.
    if (lua_State* L = g_mainThread.load()) lua_sethook(L, nullptr, 0, 0);
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
