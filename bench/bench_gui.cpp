// What the live-panel registry costs. A reflected method call from Lua
// before any class has a liveness test, the same call once the GUI's
// classes have theirs (every engine userdata then has its class looked
// up), and a call on a panel (plus the registry lookup); and deleting a
// tree of panels, where every dying panel clears the pointers of every
// live one. Prints nanoseconds and the ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Gui/GuiPanel.h"
#include "RecordingReporter.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaState.h"

class BenchGuiObject;
TAZZLE_CLASS_NAME(BenchGuiObject, "class BenchGuiObject");

class BenchGuiObject : public System::MetaData<BenchGuiObject> {
public:
    static void RegisterMethods() { AddMethod("SetLayer", System::Method<BenchGuiObject, &Set>); }
    int layer = 0;

private:
    static MetaValue Set(BenchGuiObject& self, System::MetaArgs& args) {
        self.layer = System::GetArgument(args, 0).ToInt();
        return MetaValue::None();
    }
};

namespace {

constexpr int kCallsPerRun = 1000;

bool PanelIsAlive(const System::MetaBase* object) {
    return IsLivePanel(object);
}

struct Fixture {
    Fixture() {
        L = GetLuaState();
        BenchGuiObject::RegisterMethods();
        System::RegisterClassTable<BenchGuiObject>("BenchGuiObject",
                                                   System::LuaNewDefault<BenchGuiObject>);
        PushUserdata(L, &object);
        lua_setglobal(L, "object");
    }
    // The GUI's classes and their liveness tests, as the engine registers
    // them; from here on every call pays the class lookup.
    void AddPanels() {
        if (panel) return;
        GuiPanel::RegisterMethods();
        System::RegisterClassTable<GuiPanel>("GuiPanel", GuiPanel::LuaNew);
        System::SetLivenessTest(System::TypeName<GuiPanel>::name, PanelIsAlive);
        panel = new GuiPanel(10, 10, 0.0f, 0.0f);
        PushUserdata(L, panel);
        lua_setglobal(L, "panel");
    }
    int Compile(const char* name) {
        std::string code = std::string("local o = ") + name + " for i = 1, " +
                           std::to_string(kCallsPerRun) + " do o:SetLayer(i) end";
        if (luaL_loadstring(L, code.c_str()) != 0) std::abort();
        return luaL_ref(L, LUA_REGISTRYINDEX);
    }

    lua_State* L = nullptr;
    BenchGuiObject object;
    GuiPanel* panel = nullptr;
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void RunLoop(benchmark::State& state, const char* name) {
    Fixture& f = Shared();
    int chunk = f.Compile(name);
    for (auto _ : state) {
        lua_rawgeti(f.L, LUA_REGISTRYINDEX, chunk);
        if (lua_pcall(f.L, 0, 0, 0) != 0) {
            state.SkipWithError(lua_tostring(f.L, -1));
            lua_pop(f.L, 1);
            break;
        }
    }
    luaL_unref(f.L, LUA_REGISTRYINDEX, chunk);
}

// Registered first, so that it runs before any liveness test exists.
void BM_CallWithoutLivenessTests(benchmark::State& s) {
    RunLoop(s, "object");
}
void BM_CallWithLivenessTests(benchmark::State& s) {
    Shared().AddPanels();
    RunLoop(s, "object");
}
void BM_CallOnPanel(benchmark::State& s) {
    Shared().AddPanels();
    RunLoop(s, "panel");
}

// A root with `count` children, deleted whole.
void BM_DeleteTree(benchmark::State& state) {
    const int count = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        GuiPanel* root = new GuiPanel(1000, 1000, 500.0f, 500.0f);
        for (int i = 0; i < count; ++i) root->AddChild(new GuiPanel(1, 1, 0.0f, 0.0f));
        state.ResumeTiming();
        delete root;
    }
}

BENCHMARK(BM_CallWithoutLivenessTests);
BENCHMARK(BM_CallWithLivenessTests);
BENCHMARK(BM_CallOnPanel);
BENCHMARK(BM_DeleteTree)->Arg(100)->Arg(1000);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RecordingReporter recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    auto& t = recorder.times;
    std::printf("\n");
    const char* base = "BM_CallWithoutLivenessTests";
    if (t.count(base)) {
        for (const char* name : {"BM_CallWithLivenessTests", "BM_CallOnPanel"}) {
            if (!t.count(name)) continue;
            std::printf("%-28s %6.1f ns/call, without liveness tests %6.1f ns/call, ratio %.2f\n",
                        name, t[name] / kCallsPerRun, t[base] / kCallsPerRun, t[name] / t[base]);
        }
    }
    const char* small = "BM_DeleteTree/100";
    const char* large = "BM_DeleteTree/1000";
    if (t.count(small) && t.count(large)) {
        std::printf("deleting a tree: %.0f ns/panel at 100 panels, %.0f ns/panel at 1000, ratio %.1f\n",
                    t[small] / 100, t[large] / 1000, (t[large] / 1000) / (t[small] / 100));
    }
    benchmark::Shutdown();
    return 0;
}
