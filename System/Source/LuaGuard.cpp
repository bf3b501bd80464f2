#include "System/Source/LuaGuard.h"

#include <atomic>
#include <string>

#include "System/Source/LuaState.h"

namespace {

// The guard costs nothing until the quit signal: no hook runs in normal
// play. The signal arms a count hook on every Lua thread whose instructions
// are running then (the main thread and the coroutines being resumed), the
// resume functions arm a coroutine they resume afterwards, and a coroutine
// made afterwards inherits the hook of the thread that makes it.
// lua_sethook is made to be called from a signal handler.
constexpr int kInterruptCheckEvery = 1000;
// Checks the scripts get after the interrupt before they are cut: about a
// million instructions, a few milliseconds, shared by every run and every
// coroutine (a level of a thousand looping objects would otherwise take a
// grace for each).
constexpr unsigned kInterruptGraceChecks = 1000;

// Written by the signal handler or read by it: lock-free atomics only.
std::atomic<bool> g_interruptStands{false};
std::atomic<unsigned> g_checksSinceInterrupt{0};
std::atomic<lua_State*> g_mainThread{nullptr};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<unsigned>::is_always_lock_free);
static_assert(std::atomic<lua_State*>::is_always_lock_free);

// The coroutines being resumed now, outermost first. An entry is written
// before the count that covers it, so the handler never reads a half-made
// one. Deeper nesting than this (Lua's C stack gives out near 200) is not
// listed: such a coroutine is armed as it is resumed, and its hook does
// nothing until a signal.
constexpr int kMaxListedResumes = 256;
std::atomic<lua_State*> g_resuming[kMaxListedResumes];
std::atomic<int> g_resumingCount{0};

// The text of the run's first cut: every later cut of the same run raises
// it again, so that a script that caught the cut and went on, and whoever
// gets its error (a pcall, a resume, the engine's report), still learns
// where the loop stood. Empty until a cut; each run the engine starts from
// outside Lua begins afresh.
std::string g_firstCut;
// How deep the engine's runs nest (a script can start another through an
// engine function).
int g_engineRuns = 0;

// An xpcall that is running: its thread and its own activation, whose
// first slot holds the handler and whose second the function DisarmHandler
// puts in its place. They nest as the C calls that make them (an xpcall
// cannot be left by a yield), whatever thread each belongs to. The
// innermost one may be another thread's than the one running. Most often a
// thread inside an xpcall resumes a coroutine that has none of its own (a
// resume sets no handler); or a coroutine inside its own xpcall calls an
// engine function that runs a script on the main thread (the engine's runs
// set none). Either way an error raised in the running thread reaches no
// xpcall's handler, and there is nothing to replace.
struct RunningXpcall {
    lua_State* thread;
    lua_Debug activation;
    RunningXpcall* outer;
};
RunningXpcall* g_innermostXpcall = nullptr;

// The cut's error is raised from inside the hook, where no hook runs, and
// Lua hands it to the thread's current handler: that of its innermost
// running xpcall, unless a pcall inside that one catches first. A handler
// that looped there would never be cut, so it becomes one that hands the
// message on. An outer xpcall is the innermost one again only once the
// cut's error has left the inner one, and is cut there in turn; so one
// handler is replaced at each cut, however deep the stack.
void DisarmHandler(lua_State* L) {
    RunningXpcall* running = g_innermostXpcall;
    if (!running || running->thread != L) return;
    if (lua_getlocal(L, &running->activation, 2)) lua_setlocal(L, &running->activation, 1);
}

void InterruptHook(lua_State* L, lua_Debug*);

void Arm(lua_State* L) {
    lua_sethook(L, InterruptHook, LUA_MASKCOUNT, kInterruptCheckEvery);
}

void InterruptHook(lua_State* L, lua_Debug*) {
    if (!g_interruptStands.load(std::memory_order_relaxed)) return;
    if (g_checksSinceInterrupt.fetch_add(1, std::memory_order_relaxed) + 1 >
        kInterruptGraceChecks) {
        // Every instruction of this thread from now on: a pcall that catches
        // the error gets back no more than one instruction. Other threads
        // meet it at their next check, the grace being spent.
        lua_sethook(L, InterruptHook, LUA_MASKCOUNT, 1);
        DisarmHandler(L);
        if (g_firstCut.empty()) {
            // Level 0 inside a hook is the Lua function that is running.
            luaL_where(L, 0);
            g_firstCut = std::string(lua_tostring(L, -1)) + "interrupted";
            lua_pop(L, 1);
        }
        lua_pushlstring(L, g_firstCut.data(), g_firstCut.size());
        lua_error(L);
    }
    if (lua_gethookcount(L) != kInterruptCheckEvery) Arm(L);
}

// Lists a coroutine for the signal handler while it is being resumed, and
// arms it when an interrupt stands already. One armed before keeps its
// count: a coroutine that runs a few instructions at each resume reaches
// its checks all the same.
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
        // A coroutine made while the signal armed its maker may have
        // copied the hook without its mask (Lua copies them one by one).
        if ((!listed_ || g_interruptStands.load(std::memory_order_relaxed)) &&
            (lua_gethook(co) != InterruptHook || lua_gethookmask(co) == 0)) {
            Arm(co);
        }
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

// Why `co` cannot be resumed from L, or null when it can: as Lua's own
// resume tells a coroutine's status.
const char* CannotResume(lua_State* L, lua_State* co) {
    if (co == L) return "running";
    if (lua_status(co) == LUA_YIELD) return nullptr;
    lua_Debug ar;
    if (lua_status(co) == 0 && lua_getstack(co, 0, &ar)) return "normal";
    return lua_status(co) != 0 || lua_gettop(co) == 0 ? "dead" : nullptr;
}

// Resumes `co` with the top `arguments` values of L, as Lua's own resume
// does and with no call between (so coroutines nest as deep as Lua lets
// them), the coroutine listed while it runs. Returns how many values it
// gave back, moved onto L, or -1 with the error on top of L.
int Resume(lua_State* L, lua_State* co, int arguments) {
    if (!lua_checkstack(co, arguments)) luaL_error(L, "too many arguments to resume");
    if (const char* status = CannotResume(L, co)) {
        lua_pushfstring(L, "cannot resume %s coroutine", status);
        return -1;
    }
    lua_xmove(L, co, arguments);
    lua_setlevel(L, co);
    int status;
    {
        Resuming resuming(co);
        status = lua_resume(co, arguments);
    }
    if (status != 0 && status != LUA_YIELD) {
        lua_xmove(co, L, 1);
        return -1;
    }
    const int results = lua_gettop(co);
    if (!lua_checkstack(L, results + 1)) luaL_error(L, "too many results to resume");
    lua_xmove(co, L, results);
    return results;
}

// coroutine.resume.
int ResumeListed(lua_State* L) {
    lua_State* co = lua_tothread(L, 1);
    luaL_argcheck(L, co, 1, "coroutine expected");
    const int results = Resume(L, co, lua_gettop(L) - 1);
    lua_pushboolean(L, results >= 0);
    lua_insert(L, results >= 0 ? -(results + 1) : -2);
    return results >= 0 ? results + 1 : 2;
}

// The function coroutine.wrap hands out, with the coroutine as upvalue 1.
// An error comes back raised, with the caller's place in front when it is
// a text.
int WrappedResume(lua_State* L) {
    const int results = Resume(L, lua_tothread(L, lua_upvalueindex(1)), lua_gettop(L));
    if (results >= 0) return results;
    if (lua_isstring(L, -1)) {
        luaL_where(L, 1);
        lua_insert(L, -2);
        lua_concat(L, 2);
    }
    return lua_error(L);
}

// coroutine.wrap.
int WrapListed(lua_State* L) {
    luaL_argcheck(L, lua_isfunction(L, 1) && !lua_iscfunction(L, 1), 1, "Lua function expected");
    lua_State* co = lua_newthread(L);
    lua_pushvalue(L, 1);
    lua_xmove(L, co, 1);
    lua_pushcclosure(L, WrappedResume, 1);
    return 1;
}

// The handler a cut puts in place of a script's: the message goes on.
int PassMessage(lua_State*) {
    return 1;
}

// xpcall(f, handler), as Lua's own: the handler is called as it is, with
// the stack where the error was raised. Slot 1 holds the handler, slot 2
// what DisarmHandler puts in its place (upvalue 1).
int Xpcall(lua_State* L) {
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_insert(L, 1);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 2);
    RunningXpcall running{L, {}, g_innermostXpcall};
    lua_getstack(L, 0, &running.activation);
    g_innermostXpcall = &running;
    const int status = lua_pcall(L, 0, LUA_MULTRET, 1);
    g_innermostXpcall = running.outer;
    lua_pushboolean(L, status == 0);
    lua_replace(L, 2);
    return lua_gettop(L) - 1;
}

// The library functions the guard needs its own of: the coroutines' resume
// and wrap, and xpcall.
void ReplaceGuardedFunctions(lua_State* L) {
    lua_getglobal(L, "coroutine");
    if (lua_istable(L, -1)) {
        lua_pushcfunction(L, ResumeListed);
        lua_setfield(L, -2, "resume");
        lua_pushcfunction(L, WrapListed);
        lua_setfield(L, -2, "wrap");
    }
    lua_pop(L, 1);
    lua_pushcfunction(L, PassMessage);
    lua_pushcclosure(L, Xpcall, 1);
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

// A run the engine makes: the outermost one forgets the last run's cut.
class EngineRun {
public:
    EngineRun() {
        if (g_engineRuns++ == 0) g_firstCut.clear();
    }
    ~EngineRun() { --g_engineRuns; }
    EngineRun(const EngineRun&) = delete;
    EngineRun& operator=(const EngineRun&) = delete;
};

void PushScriptBody(lua_State* L, void* data) {
    ScriptPush& run = *static_cast<ScriptPush*>(data);
    run.arguments = run.push(L, run.data);
    if (run.arguments < 0) lua_settop(L, 0);
}

}  // namespace

void PrepareLuaGuard(lua_State* L) {
    ReplaceGuardedFunctions(L);
    g_mainThread.store(L);
    lua_pushcfunction(L, EnterLua);
    g_entryRef = luaL_ref(L, LUA_REGISTRYINDEX);
}

void ForgetLuaGuard() {
    g_mainThread.store(nullptr);
    g_entryRef = LUA_NOREF;
}

bool ProtectLua(lua_State* L, void (*body)(lua_State* L, void* data), void* data, int attempts) {
    EngineRun run;
    const int top = lua_gettop(L);
    const bool ran = CallProtected(L, body, data, attempts, false);
    lua_settop(L, top);
    return ran;
}

int RunLuaScript(lua_State* L, int (*push)(lua_State* L, void* data), void* data,
                 const char* errorPrefix) {
    EngineRun engineRun;
    const int top = lua_gettop(L);
    ScriptPush run{push, data, -1};
    int status = -1;
    // What the push left is on the stack: the function and its arguments.
    if (CallProtected(L, PushScriptBody, &run, kMaxFinalizerErrors, true) && run.arguments >= 0) {
        status = lua_pcall(L, run.arguments, LUA_MULTRET, 0);
        if (status != 0) {
            PrintLuaErrorAs(L, errorPrefix);
        }
    }
    lua_settop(L, top);
    return status;
}

void InterruptRunningScript() {
    // The scripts count their grace from here.
    if (!g_interruptStands.exchange(true)) g_checksSinceInterrupt.store(0);
    if (lua_State* L = g_mainThread.load()) Arm(L);
    const int n = g_resumingCount.load();
    for (int i = 0; i < n; ++i) Arm(g_resuming[i].load());
}

bool ScriptInterruptPending() {
    return g_interruptStands.load();
}

void RenewScriptGrace() {
    g_checksSinceInterrupt.store(0);
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
