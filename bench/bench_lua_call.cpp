// The cost of the reflection binding seen from Lua: a reflected method call
// and a property read and write, each against a plain lua_CFunction doing
// the same work. Prints nanoseconds per call and the ratios. The method call
// is compared with two plain bindings: an __index function that compares
// the key's text (as the plain property binding must), and the usual way of
// binding C methods, an __index table of C functions, which Lua looks up
// without calling C; the second is the fair comparison. Last, what the
// guard against stuck scripts costs a Lua loop and a coroutine resume in
// play, and what running an object's update script inside one protected
// call costs against the former unprotected pushes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "RecordingReporter.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaGuard.h"
#include "System/Source/LuaState.h"
#include "System/Source/ScriptRegistry.h"
#include "World/ObjectLua.h"

class BenchObject;
TAZZLE_CLASS_NAME(BenchObject, "class BenchObject");

class BenchObject : public System::MetaData<BenchObject> {
public:
    BenchObject() { AddProperty("x", MetaValue(&x)); }
    static void RegisterMethods() { AddMethod("Add", System::Method<BenchObject, &Add>); }

    double total = 0;
    float x = 0;

private:
    static MetaValue Add(BenchObject& self, System::MetaArgs& args) {
        self.total +=
            System::GetArgument(args, 0).ToDouble() + System::GetArgument(args, 1).ToDouble();
        return MetaValue::None();
    }
};

namespace {

constexpr int kCallsPerRun = 1000;

BenchObject* Self(lua_State* L) {
    return *static_cast<BenchObject**>(lua_touserdata(L, 1));
}

// The same work without reflection: direct reads of the Lua arguments.
int PlainAdd(lua_State* L) {
    Self(L)->total += lua_tonumber(L, 2) + lua_tonumber(L, 3);
    return 0;
}
int PlainIndex(lua_State* L) {
    const char* key = lua_tostring(L, 2);
    if (key && std::strcmp(key, "Add") == 0) {
        lua_pushvalue(L, lua_upvalueindex(1));  // PlainAdd
    } else if (key && std::strcmp(key, "x") == 0) {
        lua_pushnumber(L, Self(L)->x);
    } else {
        lua_pushnil(L);
    }
    return 1;
}
// A global function as the engine's own are written (arguments read into a
// MetaArgs list first), against one that reads its arguments directly.
double g_sum = 0;
int ReflectedGlobal(lua_State* L) {
    System::MetaArgs args;
    ReadLuaArguments(L, args);
    g_sum += System::GetArgument(args, 0).ToDouble() + System::GetArgument(args, 1).ToDouble();
    return 0;
}
int PlainGlobal(lua_State* L) {
    g_sum += lua_tonumber(L, 1) + lua_tonumber(L, 2);
    return 0;
}

int PlainNewIndex(lua_State* L) {
    const char* key = lua_tostring(L, 2);
    if (key && std::strcmp(key, "x") == 0) Self(L)->x = float(lua_tonumber(L, 3));
    return 0;
}

struct Fixture {
    Fixture() {
        L = GetLuaState();
        BenchObject::RegisterMethods();
        System::RegisterClassTable<BenchObject>("BenchObject", System::LuaNewDefault<BenchObject>);
        PushUserdata(L, &reflected);
        lua_setglobal(L, "reflected");

        void* block = lua_newuserdata(L, sizeof(BenchObject*));
        *static_cast<BenchObject**>(block) = &plain;
        lua_newtable(L);
        lua_pushcfunction(L, PlainAdd);
        lua_pushcclosure(L, PlainIndex, 1);
        lua_setfield(L, -2, "__index");
        lua_pushcfunction(L, PlainNewIndex);
        lua_setfield(L, -2, "__newindex");
        lua_setmetatable(L, -2);
        lua_setglobal(L, "plain");

        block = lua_newuserdata(L, sizeof(BenchObject*));
        *static_cast<BenchObject**>(block) = &table;
        lua_newtable(L);
        lua_newtable(L);
        lua_pushcfunction(L, PlainAdd);
        lua_setfield(L, -2, "Add");
        lua_setfield(L, -2, "__index");
        lua_setmetatable(L, -2);
        lua_setglobal(L, "tabled");
        // A game object, whose class tells whether its objects still live.
        ObjectLua::RegisterGameObjectMethods();
        System::RegisterClassTable<System::GenericGameObject>("GenericGameObject", nullptr);
        PushUserdata(L, &gameObject);
        lua_setglobal(L, "gameObject");
        RegisterLuaFunction(ReflectedGlobal, "ReflectedGlobal");
        RegisterLuaFunction(PlainGlobal, "PlainGlobal");
        // A coroutine to resume, and Lua's own resume, which the engine's
        // keeps as its upvalue.
        if (luaL_dostring(L,
                          "co = coroutine.create(function() while true do "
                          "coroutine.yield() end end)") != 0) {
            std::abort();
        }
        lua_getglobal(L, "coroutine");
        lua_getfield(L, -1, "resume");
        lua_getupvalue(L, -1, 1);
        lua_setglobal(L, "rawResume");
        lua_pop(L, 2);
    }
    ~Fixture() {
        StopScriptWatcher();
        CloseLua();
    }

    // A loop of kCallsPerRun statements over the global object `name`.
    int Compile(const char* name, const char* statement) {
        std::string code = std::string("local o = ") + name + " for i = 1, " +
                           std::to_string(kCallsPerRun) + " do " + statement + " end";
        if (luaL_loadstring(L, code.c_str()) != 0) std::abort();
        return luaL_ref(L, LUA_REGISTRYINDEX);
    }

    lua_State* L = nullptr;
    BenchObject reflected;
    BenchObject plain;
    BenchObject table;
    System::GenericGameObject gameObject;
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void RunLoop(benchmark::State& state, const char* object, const char* statement) {
    Fixture& f = Shared();
    int chunk = f.Compile(object, statement);
    for (auto _ : state) {
        lua_rawgeti(f.L, LUA_REGISTRYINDEX, chunk);
        if (lua_pcall(f.L, 0, 0, 0) != 0) {
            state.SkipWithError(lua_tostring(f.L, -1));
            lua_pop(f.L, 1);
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
    luaL_unref(f.L, LUA_REGISTRYINDEX, chunk);
}

void BM_MethodReflected(benchmark::State& s) {
    RunLoop(s, "reflected", "o:Add(1, 2)");
}
void BM_MethodPlain(benchmark::State& s) {
    RunLoop(s, "plain", "o:Add(1, 2)");
}
void BM_MethodTable(benchmark::State& s) {
    RunLoop(s, "tabled", "o:Add(1, 2)");
}
void BM_MethodGameObject(benchmark::State& s) {
    RunLoop(s, "gameObject", "o:GetId()");
}
void BM_PropertyReflected(benchmark::State& s) {
    RunLoop(s, "reflected", "o.x = o.x + 1");
}
void BM_PropertyPlain(benchmark::State& s) {
    RunLoop(s, "plain", "o.x = o.x + 1");
}
void BM_GlobalReflected(benchmark::State& s) {
    RunLoop(s, "plain", "ReflectedGlobal(1, 2)");
}
void BM_GlobalPlain(benchmark::State& s) {
    RunLoop(s, "plain", "PlainGlobal(1, 2)");
}
void BM_EmptyLoop(benchmark::State& s) {
    RunLoop(s, "plain", "");
}
// The shared state as the game plays, with the guard against stuck scripts
// in place and no signal yet, against the same loops with every hook taken
// off: the empty loop is the worst case (one instruction a step), the
// arithmetic one closer to a script.
void RunLoopUnhooked(benchmark::State& s, const char* statement) {
    lua_State* L = Shared().L;
    lua_Hook hook = lua_gethook(L);
    const int mask = lua_gethookmask(L);
    const int count = lua_gethookcount(L);
    lua_sethook(L, nullptr, 0, 0);
    RunLoop(s, "plain", statement);
    lua_sethook(L, hook, mask, count);
}
void BM_EmptyLoopUnhooked(benchmark::State& s) {
    RunLoopUnhooked(s, "");
}
void BM_ArithmeticLoop(benchmark::State& s) {
    RunLoop(s, "plain", "local y = i * 2 + i / 3");
}
void BM_ArithmeticLoopUnhooked(benchmark::State& s) {
    RunLoopUnhooked(s, "local y = i * 2 + i / 3");
}
// A resume and a yield through the engine's coroutine.resume, which lists
// the coroutine for the signal, against Lua's own.
void BM_ResumeListed(benchmark::State& s) {
    RunLoop(s, "coroutine.resume", "o(co)");
}
void BM_ResumeRaw(benchmark::State& s) {
    RunLoop(s, "rawResume", "o(co)");
}

// An object's update script as the engine runs it each frame (its chunk
// and the object pushed, then the run, inside one protected call) against
// the same pushes made outside any protected call, as the engine made them
// before. The script does nothing, so the difference is all there is.
int UpdateScript() {
    static const int index = [] {
        const std::string path =
            (std::filesystem::temp_directory_path() / "tazzle_bench_update.lua").string();
        std::ofstream(path) << "local self = ...\n";
        const int loaded = LoadScript(path.c_str());
        std::filesystem::remove(path);
        return loaded;
    }();
    return index;
}
void BM_UpdateScriptProtected(benchmark::State& state) {
    Fixture& f = Shared();
    const int index = UpdateScript();
    for (auto _ : state) {
        for (int i = 0; i < kCallsPerRun; ++i) RunScriptChunk(index, &f.gameObject);
    }
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
}
void BM_UpdateScriptUnprotected(benchmark::State& state) {
    Fixture& f = Shared();
    const int index = UpdateScript();
    for (auto _ : state) {
        for (int i = 0; i < kCallsPerRun; ++i) {
            const int top = lua_gettop(f.L);
            PushScriptChunk(f.L, index);
            PushUserdata(f.L, &f.gameObject);
            if (lua_pcall(f.L, 1, LUA_MULTRET, 0) != 0) PrintLuaError(f.L);
            lua_settop(f.L, top);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
}

// Short runs, repeated in rounds below: on a machine shared with other work
// the median of the rounds' ratios is far steadier than one long run.
constexpr double kMinSeconds = 0.2;
constexpr int kRounds = 5;
BENCHMARK(BM_MethodReflected)->MinTime(kMinSeconds);
BENCHMARK(BM_MethodPlain)->MinTime(kMinSeconds);
BENCHMARK(BM_MethodTable)->MinTime(kMinSeconds);
BENCHMARK(BM_MethodGameObject)->MinTime(kMinSeconds);
BENCHMARK(BM_PropertyReflected)->MinTime(kMinSeconds);
BENCHMARK(BM_PropertyPlain)->MinTime(kMinSeconds);
BENCHMARK(BM_GlobalReflected)->MinTime(kMinSeconds);
BENCHMARK(BM_GlobalPlain)->MinTime(kMinSeconds);
BENCHMARK(BM_EmptyLoop)->MinTime(kMinSeconds);
BENCHMARK(BM_EmptyLoopUnhooked)->MinTime(kMinSeconds);
BENCHMARK(BM_ArithmeticLoop)->MinTime(kMinSeconds);
BENCHMARK(BM_ArithmeticLoopUnhooked)->MinTime(kMinSeconds);
BENCHMARK(BM_ResumeListed)->MinTime(kMinSeconds);
BENCHMARK(BM_ResumeRaw)->MinTime(kMinSeconds);
BENCHMARK(BM_UpdateScriptProtected)->MinTime(kMinSeconds);
BENCHMARK(BM_UpdateScriptUnprotected)->MinTime(kMinSeconds);

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Time per Lua statement, one entry per round.
    std::map<std::string, std::vector<double>> t;
    for (int round = 0; round < kRounds; ++round) {
        RecordingReporter recorder;
        benchmark::RunSpecifiedBenchmarks(&recorder);
        for (const auto& [name, time] : recorder.times) {
            // Without the "/min_time:..." that the run's name carries.
            t[name.substr(0, name.find('/'))].push_back(time / kCallsPerRun);
        }
    }
    auto compare = [&](const char* what, const char* kinds, const std::string& a,
                       const std::string& b) {
        if (!t.count(a) || !t.count(b)) return;
        std::vector<double> ratios;
        for (size_t i = 0; i < t[a].size() && i < t[b].size(); ++i) {
            ratios.push_back(t[a][i] / t[b][i]);
        }
        std::printf(kinds, what, Median(t[a]), Median(t[b]), Median(ratios));
    };
    auto line = [&](const char* what, const std::string& reflected, const std::string& plain) {
        compare(what, "%-19s reflected %7.1f ns/call, plain %7.1f ns/call, ratio %.2f\n", reflected,
                plain);
    };
    std::printf("\nMedians of %d rounds:\n", kRounds);
    line("method (C table)", "BM_MethodReflected", "BM_MethodTable");
    line("method (C __index)", "BM_MethodReflected", "BM_MethodPlain");
    line("game object method", "BM_MethodGameObject", "BM_MethodTable");
    line("property read+write", "BM_PropertyReflected", "BM_PropertyPlain");
    line("global function", "BM_GlobalReflected", "BM_GlobalPlain");
    if (t.count("BM_EmptyLoop")) {
        std::printf("empty loop step      %7.1f ns\n", Median(t["BM_EmptyLoop"]));
    }
    const char* hooked = "%-19s in play %7.2f ns/step, unhooked %7.2f ns/step, ratio %.3f\n";
    compare("guard, empty loop", hooked, "BM_EmptyLoop", "BM_EmptyLoopUnhooked");
    compare("guard, arith loop", hooked, "BM_ArithmeticLoop", "BM_ArithmeticLoopUnhooked");
    compare("guard, resume",
            "%-19s listed %7.1f ns/resume, Lua's own %7.1f ns/resume, ratio %.2f\n",
            "BM_ResumeListed", "BM_ResumeRaw");
    compare("update script run",
            "%-19s protected %7.1f ns/run, unprotected %7.1f ns/run, ratio %.2f\n",
            "BM_UpdateScriptProtected", "BM_UpdateScriptUnprotected");
    benchmark::Shutdown();
    return 0;
}
