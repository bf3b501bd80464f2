// What the live-panel registry costs. A reflected method call from Lua on
// an object whose family has no liveness test, the same call once the GUI's
// classes are registered, and a call on a panel (whose family's test asks
// the registry after a death); and deleting a
// tree of panels, where every dying panel clears the pointers of every
// live one. Prints nanoseconds and the ratios.
//
// And what the console's output costs a frame: a script's Print of one
// line, then the console's update and drawing (through a batch renderer
// without GL: recording, not the driver), after 1,000 and 300,000 lines
// of history, shown and hidden; and one Print of 1 MiB. Run from the
// project's folder (its font aliases); standard output, where the console
// keeps a copy, goes to /dev/null meanwhile. What the driver adds to
// drawing the shown console, bench_console_window measures in a window.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Graphics/BatchRenderer.h"
#include "Graphics/Window.h"
#include "System/Source/Console.h"
#include "Gui/ConsolePanel.h"
#include "Gui/GuiPanel.h"
#include "Gui/RichText.h"
#include "RecordingReporter.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaState.h"
#include "System/Source/MemoryPool.h"

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

struct Fixture {
    Fixture() {
        L = GetLuaState();
        BenchGuiObject::RegisterMethods();
        System::RegisterClassTable<BenchGuiObject>("BenchGuiObject",
                                                   System::LuaNewDefault<BenchGuiObject>);
        PushUserdata(L, &object);
        lua_setglobal(L, "object");
    }
    // The GUI's classes, as the engine registers them, and a panel.
    void AddPanels() {
        if (panel) return;
        GuiPanel::RegisterMethods();
        System::RegisterClassTable<GuiPanel>("GuiPanel", GuiPanel::LuaNew);
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

// Registered first, so that it runs before the GUI's classes exist.
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

// ---- The console's output.

// Standard output goes to /dev/null while it lives.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            close(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
        }
    }

private:
    int saved_ = -1;
};

struct ConsoleFixture {
    ConsoleFixture() {
        // As in the game, the output's text lives in the engine's pool.
        System::CreateEnginePool(System::ParseMemorySize("128m"));
        WindowWidth = 1920;
        WindowHeight = 1080;
        L = GetLuaState();
        lua_register(L, "Print", LuaPrint);
        // Compiled once: each frame only calls it.
        if (luaL_loadstring(L, "Print('frame ' .. 12345 .. ': the script says something\\n')") != 0) {
            std::abort();
        }
        printLine = luaL_ref(L, LUA_REGISTRYINDEX);
        console = new Console();
        CurrentRenderer = &renderer;
    }
    // An output of `lines` lines (the newest of them, past its limit),
    // broken and showing its end.
    void Fill(int lines, bool shown) {
        console->visible = true;
        console->output->Clear();
        std::string history;
        for (int i = 0; i < lines; ++i) {
            history += "history line " + std::to_string(i) + ": what a script printed\n";
        }
        console->output->AddText(history);
        Frame();
        console->visible = shown;
        keptLines = console->output->LineCount();
    }
    // One frame of the console: its update, its drawing, the renderer's pass.
    void Frame() {
        console->Update();
        console->DrawBackground();
        console->Draw();
        renderer.Render();
    }

    lua_State* L = nullptr;
    int printLine = LUA_NOREF;
    int keptLines = 0;  // of the last Fill
    Console* console = nullptr;
    BatchRenderer renderer;  // made before any window: no GL
};

ConsoleFixture* consoleFixture = nullptr;  // made by the first console benchmark

ConsoleFixture& SharedConsole() {
    if (!consoleFixture) consoleFixture = new ConsoleFixture();
    return *consoleFixture;
}

constexpr int kPrintFrames = 1000;

// The lines kept of the largest history printed.
int g_keptOfLargest = 0;

// One line printed a frame, the frame's update and drawing; the history
// grows by one line a frame from `lines`.
void BM_ConsolePrintFrame(benchmark::State& state) {
    ConsoleFixture& f = SharedConsole();
    f.Fill(int(state.range(0)), state.range(1) != 0);
    g_keptOfLargest = std::max(g_keptOfLargest, f.keptLines);
    QuietStdout quiet;
    for (auto _ : state) {
        lua_rawgeti(f.L, LUA_REGISTRYINDEX, f.printLine);
        if (lua_pcall(f.L, 0, 0, 0) != 0) std::abort();
        f.Frame();
    }
}

// One Print of 1 MiB of text into an empty output, and the frame that
// breaks and draws it: lines of 20 to 120 characters, or (argument 1)
// words without a line feed, wrapped at the panel's width, or (argument 2)
// the lines into an output near its limit, whose oldest lines then go.
void BM_ConsolePrintMiB(benchmark::State& state) {
    ConsoleFixture& f = SharedConsole();
    std::string text;
    const char end = state.range(0) == 1 ? ' ' : '\n';
    // About 3.7 Mi characters of 42-character lines.
    const int history = state.range(0) == 2 ? 90000 : 0;
    for (int i = 0; text.size() < (1u << 20); ++i) {
        text += std::string(size_t(20 + (i * 37) % 100), char('a' + i % 26)) + end;
    }
    text.resize(1u << 20);
    lua_pushlstring(f.L, text.data(), text.size());
    lua_setglobal(f.L, "mebibyte");
    if (luaL_loadstring(f.L, "Print(mebibyte)") != 0) std::abort();
    const int chunk = luaL_ref(f.L, LUA_REGISTRYINDEX);
    QuietStdout quiet;
    for (auto _ : state) {
        state.PauseTiming();
        f.Fill(history, true);
        state.ResumeTiming();
        lua_rawgeti(f.L, LUA_REGISTRYINDEX, chunk);
        if (lua_pcall(f.L, 0, 0, 0) != 0) std::abort();
        f.Frame();
    }
    luaL_unref(f.L, LUA_REGISTRYINDEX, chunk);
}

BENCHMARK(BM_CallWithoutLivenessTests);
BENCHMARK(BM_CallWithLivenessTests);
BENCHMARK(BM_CallOnPanel);
BENCHMARK(BM_DeleteTree)->Arg(100)->Arg(1000);
BENCHMARK(BM_ConsolePrintFrame)
    ->ArgsProduct({{1000, 300000}, {1, 0}})
    ->ArgNames({"lines", "shown"})
    ->Iterations(kPrintFrames)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConsolePrintMiB)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

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
    // Milliseconds per iteration (the unit these benchmarks report in).
    auto ms = [&](const std::string& name) {
        auto it = t.find(name);
        return it == t.end() ? -1.0 : it->second;
    };
    for (const char* shown : {"1", "0"}) {
        const std::string base = std::string("BM_ConsolePrintFrame/lines:");
        const std::string frames = "/iterations:" + std::to_string(kPrintFrames);
        const double few = ms(base + "1000/shown:" + shown + frames);
        const double many = ms(base + "300000/shown:" + shown + frames);
        if (few >= 0 && many >= 0) {
            std::printf("console %s, one Print a frame: %.3f ms at 1,000 lines of history, %.3f ms "
                        "at 300,000 printed, of which the newest %d are kept (difference %.3f "
                        "ms)\n",
                        *shown == '1' ? "shown" : "hidden", few, many, g_keptOfLargest,
                        many - few);
        }
    }
    const double lines = ms("BM_ConsolePrintMiB/0/iterations:20");
    const double words = ms("BM_ConsolePrintMiB/1/iterations:20");
    const double full = ms("BM_ConsolePrintMiB/2/iterations:20");
    if (lines >= 0 && words >= 0 && full >= 0) {
        std::printf("console, one Print of 1 MiB: %.2f ms in lines, %.2f ms without line feeds, "
                    "%.2f ms in lines into an output near its limit (ratio %.2f to an empty one)\n",
                    lines, words, full, full / lines);
    }
    if (consoleFixture) delete consoleFixture->console;
    benchmark::Shutdown();
    return 0;
}
