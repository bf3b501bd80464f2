#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "System/Source/Components/LuaBinding.h"
#include "System/Source/ConsoleArgs.h"
#include "System/Source/GlobalScripts.h"
#include "System/Source/LuaGuard.h"
#include "System/Source/LuaState.h"
#include "System/Source/ScriptRegistry.h"
#include "support/TestSupport.h"
#include "test_lua_support.h"

class StateThing;
class StateLoner;
TAZZLE_CLASS_NAME(StateThing, "class StateThing");
TAZZLE_CLASS_NAME(StateLoner, "class StateLoner");

class StateThing : public System::MetaData<StateThing> {};
class StateLoner : public System::MetaData<StateLoner> {};

namespace {

namespace fs = std::filesystem;

// Runs the test body in another working directory.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path) : saved_(fs::current_path()) {
        fs::current_path(path);
    }
    ~WorkingDirectory() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

System::MetaArgs g_read;

int ReadInto(lua_State* L) {
    ReadLuaArguments(L, g_read);
    return 0;
}
int PickFirst(lua_State* L) {
    lua_pushnumber(L, 1);
    return 1;
}
int PickSecond(lua_State* L) {
    lua_pushnumber(L, 2);
    return 1;
}

// Sets the file's time a whole number of seconds away from now.
void Touch(const std::string& path, int seconds) {
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::seconds(seconds));
}

}  // namespace

class LuaState : public LuaFixture {
protected:
    void SetUp() override {
        LuaFixture::SetUp();
        System::RegisterClassTable<StateThing>("StateThing", System::LuaNewDefault<StateThing>);
        RegisterLuaFunction(LuaStackDump, "stackdump");
        RegisterLuaFunction(ReadInto, "ReadInto");
        PushUserdata(L, &thing);
        lua_setglobal(L, "thing");
    }
    void TearDown() override {
        CancelScriptInterrupt();
        LuaFixture::TearDown();
        g_read.clear();
    }

    void Lua(ConsoleArgs args, const std::string& name) {
        args.AddArg(name);
        ConsoleLua(args);
    }

    StateThing thing;
    TestSupport::TempDir dir;
};

TEST_F(LuaState, LaterRegistrationWins) {
    RegisterLuaFunction(PickFirst, "Pick");
    RegisterLuaFunction(PickSecond, "Pick");
    EXPECT_TRUE(True("Pick() == 2"));
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(LuaState, ReadArgumentsByType) {
    EXPECT_EQ(Output("ReadInto(1, nil, 'a')"), "dumpStack Err, type encountered: nil");
    ASSERT_EQ(g_read.size(), 2u);
    EXPECT_TRUE(g_read[0].IsType<double>());
    EXPECT_EQ(g_read[0].ToDouble(), 1.0);
    EXPECT_TRUE(g_read[1].IsType<const char*>());
    EXPECT_STREQ(g_read[1].ToString(), "a");

    lua_pushlightuserdata(L, &g_read);
    lua_setglobal(L, "light");
    EXPECT_EQ(Output("ReadInto(true, false, thing, light, io.stdout, {}, print)"),
              "dumpStack Err, type encountered: tabledumpStack Err, type encountered: function");
    ASSERT_EQ(g_read.size(), 5u);
    EXPECT_TRUE(g_read[0].IsType<bool>() && g_read[0].ToBool());
    EXPECT_TRUE(g_read[1].IsType<bool>() && !g_read[1].ToBool());
    EXPECT_TRUE(g_read[2].IsType<void*>());
    EXPECT_EQ(g_read[2].ToObjectBase(), &thing);  // through the userdata's block
    EXPECT_EQ(g_read[3].Get<void*>(), &g_read);
    EXPECT_EQ(g_read[3].ToObjectBase(), nullptr);
    EXPECT_EQ(g_read[4].ToObjectBase(), nullptr);

    EXPECT_EQ(Output("ReadInto()"), "");
    EXPECT_TRUE(g_read.empty());
    // The allocating form hands the vector to the caller.
    lua_pushnumber(L, 4);
    System::MetaArgs* args = ReadLuaArguments(L);
    ASSERT_EQ(args->size(), 1u);
    delete args;
    lua_settop(L, 0);
}

TEST_F(LuaState, UserdataMetatables) {
    StateLoner loner;
    PushUserdata(L, &loner);
    EXPECT_EQ(lua_getmetatable(L, -1), 0);  // a class without a table
    PushUserdata(nullptr, &thing);          // null means the shared state
    ASSERT_NE(lua_getmetatable(L, -1), 0);
    lua_getfield(L, LUA_REGISTRYINDEX, "class StateThing");
    EXPECT_TRUE(lua_rawequal(L, -1, -2));
    EXPECT_EQ(System::ToEngineObject(L, 2), &thing);
    EXPECT_EQ(System::ToEngineObject(L, -3), &thing);
    // Made by the engine: an object, though its class has no table.
    EXPECT_EQ(System::ToEngineObject(L, 1), &loner);
    lua_settop(L, 0);
}

TEST_F(LuaState, StackDumpTexts) {
    EXPECT_EQ(Output("stackdump()"), "--- LUA TOP ---\n--- END ---\n\n");
    EXPECT_EQ(Output("stackdump(1.5, true, 's', 0.1, 16777217)"),
              "--- LUA TOP ---\n16777216.000000\n0.100000\ns\n1\n1.500000\n--- END ---\n\n");
    EXPECT_EQ(Output("stackdump({a = {b = false}}, print, thing)"),
              "dumpStack Err, type encountered: table"
              "dumpStack Err, type encountered: function"
              "--- LUA TOP ---\n"
              "dumpStack Err, type encountered: userdata\n"
              "Function\n"
              "Table: \n{\n  Key: a\n  Value: Table: \n  {\n    Key: b\n    Value: 0\n  }\n}\n"
              "--- END ---\n\n");
    // Cycles terminate, also through a table in between.
    std::string out = Output("local t = {} t.self = t stackdump(t)");
    EXPECT_NE(out.find("Key: self\n  Value: Table: (already printed)\n}"), std::string::npos);
    out = Output("local a, b = {}, {} a.b = b b.a = a stackdump(a)");
    EXPECT_NE(out.find("Key: a\n    Value: Table: (already printed)\n  }"), std::string::npos);
    // A table met again at a new place, not inside itself, prints in full.
    const std::string shared = "Table: \n{\n  Key: a\n  Value: 7.000000\n}\n";
    EXPECT_EQ(Output("local t = {a = 7} stackdump(t, t)"),
              "dumpStack Err, type encountered: tabledumpStack Err, type encountered: table"
              "--- LUA TOP ---\n" +
                  shared + shared + "--- END ---\n\n");
    out = Output("local t = {a = 7} stackdump({x = t, y = t})");
    EXPECT_EQ(out.find("already printed"), std::string::npos);
    EXPECT_NE(out.find("Key: a\n    Value: 7.000000"), out.rfind("Key: a\n    Value: 7.000000"));
    out = Output("stackdump(_G)");
    EXPECT_NE(out.find("Key: _G"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 13), "--- END ---\n\n");
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(LuaState, ErrorReports) {
    lua_pushstring(L, "boom");
    EXPECT_EQ(TestSupport::CaptureStdout([&] { EXPECT_EQ(PrintLuaError(L), -1); }),
              "Lua Error: boom\n");
    lua_newtable(L);
    EXPECT_EQ(TestSupport::CaptureStdout([&] { PrintLuaError(L); }),
              "Lua Error: (error object is not a string)\n");
    lua_pushnumber(L, 42);  // error(42)
    EXPECT_EQ(TestSupport::CaptureStdout([&] { PrintLuaError(L); }), "Lua Error: 42\n");
    lua_pushstring(L, "why");
    EXPECT_EQ(TestSupport::CaptureStdout([&] {
                  ReportLoadError(LUA_ERRSYNTAX, "a.lua");
                  ReportLoadError(LUA_ERRMEM, "a.lua");
                  ReportLoadError(LUA_ERRFILE, "a.lua");
                  ReportLoadError(LUA_ERRRUN, "a.lua");
              }),
              "File a.lua had a syntax error: why\nError allocating memory for Lua: why\n"
              "Lua was unable to open the file. why\n");
    lua_settop(L, 0);
}

TEST_F(LuaState, UnprotectedErrorsEndTheProgram) {
    EXPECT_EXIT(
        {
            lua_pushstring(L, "fatal");
            lua_error(L);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(LuaState, GlobalScriptsLeaveTheStackAlone) {
    std::string failing = dir.Write("fail.lua", "counter = (counter or 0) + 1 error('no')");
    std::string out = TestSupport::CaptureStdout([&] {
        for (int i = 0; i < 1000; ++i) RunGlobalScript(failing.c_str());
    });
    std::string line = "Lua Error: " + failing + ":1: no\n";
    ASSERT_EQ(out.size(), 1000 * line.size());
    EXPECT_EQ(out.substr(999 * line.size()), line);
    EXPECT_EQ(lua_gettop(L), 0);
    EXPECT_TRUE(True("counter == 1000"));

    std::string broken = dir.Write("broken.lua", "x = = 1");
    out = TestSupport::CaptureStdout([&] {
        RunGlobalScript(broken.c_str());
        RunGlobalScript(broken.c_str());
    });
    EXPECT_EQ(out.rfind("File " + broken + " had a syntax error: ", 0), 0u) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1);  // compiled once, reported once
    EXPECT_EQ(lua_gettop(L), 0);

    std::string missing = dir.Path() + "/missing.lua";
    out = TestSupport::CaptureStdout([&] {
        RunGlobalScript(missing.c_str());
        RunGlobalScript(missing.c_str());
    });
    EXPECT_EQ(out, "Lua was unable to open the file. cannot open " + missing +
                       ": No such file or directory\n");
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(LuaState, GlobalReloadRunsWhatTheHotReloadCompiled) {
    std::string globals = dir.Write("Resources/Lua/Globals/LuaGlobals.lua", "version = 1");
    WorkingDirectory cwd(dir.Path());
    ConsoleArgs args("globalReload");
    ConsoleGlobalReload(args);
    EXPECT_TRUE(True("version == 1"));

    dir.Write("Resources/Lua/Globals/LuaGlobals.lua", "version = 2");
    Touch(globals, 5);
    ConsoleGlobalReload(args);
    EXPECT_TRUE(True("version == 1"));
    RunScriptWatcherPass();
    ReloadChangedScripts();
    ConsoleGlobalReload(args);
    EXPECT_TRUE(True("version == 2"));

    dir.Write("Resources/Lua/Globals/Teleport.lua", "teleported = true");
    ConsoleArgs teleport("teleport");
    ConsoleTeleport(teleport);
    EXPECT_TRUE(True("teleported"));
    dir.Write("Resources/Lua/Globals/StartOfLevel.lua", "phase = 'start'");
    RunStartOfLevelScript();
    EXPECT_TRUE(True("phase == 'start'"));
    dir.Write("Resources/Lua/Globals/EndOfLevel.lua", "phase = 'end'");
    RunEndOfLevelScript();
    EXPECT_TRUE(True("phase == 'end'"));
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(LuaState, LuaCommandCompilesAfreshEachTime) {
    dir.Write("Resources/Lua/hello.lua", "hello = (hello or 0) + 1");
    WorkingDirectory cwd(dir.Path());
    ConsoleArgs lua("lua");
    Lua(lua, "hello");
    EXPECT_TRUE(True("hello == 1"));
    dir.Write("Resources/Lua/hello.lua", "hello = 100");
    Lua(lua, "HELLO");  // found whatever the case
    EXPECT_TRUE(True("hello == 100"));

    dir.Write("Resources/Lua/fails.lua", "error('quiet')");
    dir.Write("Resources/Lua/bad.lua", "x = = 1");
    std::string out = TestSupport::CaptureStdout([&] {
        Lua(lua, "fails");
        Lua(lua, "missing");
    });
    EXPECT_EQ(out,
              "Lua Error: Resources/Lua/fails.lua:1: quiet\n"
              "Lua was unable to open the file.\n"
              "Lua Error: cannot open Resources/Lua/missing.lua: No such file or directory\n");
    out = TestSupport::CaptureStdout([&] { Lua(lua, "bad"); });
    EXPECT_EQ(out.rfind("File Resources/Lua/bad.lua had a syntax error.\nLua Error: ", 0), 0u);
    out = TestSupport::CaptureStdout([&] {
        ConsoleLua(lua);
        Lua(lua, "");
    });
    EXPECT_EQ(out, "Usage: lua <script name>\nUsage: lua <script name>\n");
    EXPECT_EQ(lua_gettop(L), 0);

    dir.Write("Resources/Lua/run.txt", "error('oops')");
    out = TestSupport::CaptureStdout([] { RunLuaFile("run.txt"); });
    EXPECT_EQ(out.rfind("Lua Syntax Error: ", 0), 0u);
    EXPECT_NE(out.find("oops"), std::string::npos);
    out = TestSupport::CaptureStdout([] { RunLuaFile("nothing.lua"); });
    EXPECT_EQ(out,
              "Lua was unable to open the file. cannot open Resources/Lua/nothing.lua: No such "
              "file or directory\n");
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(LuaState, PlayersAndThreads) {
    EXPECT_FALSE(HasPlayer(1));
    ASSERT_EQ(Run("PLAYER_LIST = {thing, 5}"), "");
    EXPECT_TRUE(HasPlayer(1));
    EXPECT_FALSE(HasPlayer(2));
    EXPECT_FALSE(HasPlayer(3));
    ASSERT_EQ(Run("PLAYER_LIST = setmetatable({}, {__index = function() error('x') end})"), "");
    EXPECT_FALSE(HasPlayer(1));
    // A metamethod of the globals that raises is the script's error.
    ASSERT_EQ(Run("PLAYER_LIST = nil setmetatable(_G, {__index = function() error('no') end})"),
              "");
    std::string out = TestSupport::CaptureStdout([] { EXPECT_FALSE(HasPlayer(1)); });
    EXPECT_EQ(out.rfind("Lua Error: "), 0u) << out;
    EXPECT_EQ(out.find(": no\n"), out.size() - 5) << out;
    EXPECT_EQ(lua_gettop(L), 0);

    lua_State* thread = NewLuaThread();
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(lua_tothread(L, -1), thread);
    lua_settop(L, 0);
}

TEST_F(LuaState, StartUpWithTheShippedGlobals) {
    WorkingDirectory cwd(TAZZLE_SOURCE_DIR);
    // The globals reach the audio and GUI layers, which this state lacks: a
    // stand-in for the sounds, and the pause menu taken as made already.
    RegisterLuaFunction([](lua_State*) { return 0; }, "AddSound");
    ASSERT_EQ(Run("PAUSE_MENU = true"), "");
    std::string out = TestSupport::CaptureStdout([] { InitLua(); });
    EXPECT_EQ(out, "");
    EXPECT_TRUE(True("DEBUG == false and type(SendObjectMessage) == 'function'"));
    EXPECT_TRUE(True("type(PLAYER_LIST) == 'table'"));
    EXPECT_EQ(lua_gc(L, LUA_GCSETSTEPMUL, 50), 50);
    // The other shipped global scripts compile and run.
    out = TestSupport::CaptureStdout([] {
        RunStartOfLevelScript();
        RunEndOfLevelScript();
        ConsoleArgs args("teleport");
        ConsoleTeleport(args);
    });
    EXPECT_EQ(out, "");
    ScriptEntry entry;
    for (int i = 0; i < ScriptCount(); ++i) {
        ASSERT_TRUE(GetScriptEntry(i, entry));
        EXPECT_NE(entry.reference, -1) << entry.path;
    }
    EXPECT_EQ(ScriptCount(), 4);
    EXPECT_EQ(lua_gettop(L), 0);
}

// Once the quit signal came, a script run is cut only when it goes on for
// about a million instructions: the short scripts of the frame end as usual.
// Until the signal no hook runs; it reaches every coroutine running then or
// resumed later, and no error handler of a script runs for the cut.
TEST_F(LuaState, AnInterruptCutsOnlyARunThatGoesOn) {
    // A run as the engine makes one: its error text, or "".
    auto run = [&](const std::string& code) {
        std::string out = TestSupport::CaptureStdout([&] {
            RunLuaScript(L, [&code](lua_State* S) {
                return luaL_loadstring(S, code.c_str()) == 0 ? 0 : -1;
            });
        });
        if (out.starts_with("Lua Error: ")) out = out.substr(11);
        if (out.ends_with("\n")) out.pop_back();
        return out;
    };
    RegisterLuaFunction([](lua_State*) { return InterruptRunningScript(), 0; }, "Signal");
    ASSERT_EQ(run("co = coroutine.create(function() coroutine.yield() for i = 1, 3e7 do end end)\n"
                  "coroutine.resume(co)"),
              "");
    EXPECT_EQ(lua_gethook(L), nullptr);
    // A coroutine that yielded is no longer being resumed: the signal leaves it alone.
    InterruptRunningScript();
    EXPECT_TRUE(True("debug.gethook(co) == nil"));
    CancelScriptInterrupt();
    // Each ends in a loop far past the grace, unless the hook reaches it: in
    // a coroutine resumed after the signal, the signal within a coroutine
    // and a wrapped one, in an error handler.
    const std::string loop = " for i = 1, 3e7 do end ";
    const std::string cases[] = {
        "Signal() local ok, e = coroutine.resume(co) error(e, 0)",
        "local ok, e = coroutine.resume(coroutine.create(function() Signal()" + loop +
            "end)) error(e, 0)",
        "coroutine.wrap(function() Signal()" + loop + "end)()",
        "Signal() handled = 0 xpcall(error, function(e) handled = handled + 1" + loop +
            "return e end)" + loop,
        // A few instructions at each resume, by C; no handler is run for the cut's error.
        "local w = coroutine.wrap(function() while true do coroutine.yield('x') end end)\n"
        "Signal() string.gsub(string.rep('a', 3e6), 'a', w)",
        "getmetatable('').__tostring = function() handled = handled + 1 end Signal() "
        "xpcall(function()" + loop + "end, tostring)",
    };
    for (const std::string& code : cases) {
        SCOPED_TRACE(code);
        const std::string error = run(code);
        EXPECT_TRUE(error.ends_with(": interrupted")) << error;
        CancelScriptInterrupt();
    }
    EXPECT_EQ(run("error(handled, 0)"), "1");
    EXPECT_EQ(lua_gethook(L), nullptr);
    // The runs after the signal share one grace; the end of the level gets its own.
    InterruptRunningScript();
    EXPECT_EQ(run("for i = 1, 100000 do end"), "");
    EXPECT_EQ(run("local n = 0\nwhile true do n = n + 1 end"),
              "[string \"local n = 0...\"]:2: interrupted");
    EXPECT_EQ(run("for i = 1, 100000 do end"), "[string \"for i = 1, 100000 do end\"]:1: interrupted");
    RenewScriptGrace();
    EXPECT_EQ(run("for i = 1, 100000 do end"), "");
    CancelScriptInterrupt();
    EXPECT_EQ(run("for i = 1, 3000000 do end"), "");
    // The cut names the loop's place, also to a script that caught it and
    // went on, and to the resumer of a coroutine whose xpcall caught it.
    const std::string caught[][2] = {
        {"local ok = pcall(function() Signal()\nwhile true do end end)\nfor i = 1, 10 do end", "2"},
        {"local co = coroutine.create(function()\nlocal ok, e = xpcall(function() Signal()\n"
         "while true do end end, debug.traceback)\nif not ok then return e end end)\n"
         "local _, e = coroutine.resume(co)\nerror(e, 0)",
         "3"},
        // However deep the stack under the xpcall, and however long a loop of
        // tail calls ran, the cuts take no longer than anywhere else.
        {"local function spin(n) if n == 2e6 then Signal() end return spin(n + 1) end\n"
         "local function deep(n, k) if n > 0 then return 1 + deep(n - 1, k) end\n"
         "if k > 0 then pcall(deep, 90, k - 1) end spin(0) end\n"
         "xpcall(function() deep(90, 190) end, function(m) return m end)",
         "1"},
    };
    for (const auto& [code, line] : caught) {
        const auto started = std::chrono::steady_clock::now();
        const std::string error = run(code);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        EXPECT_TRUE(error.ends_with("]:" + line + ": interrupted")) << code << "\n" << error;
        EXPECT_LT(took.count(), 2.0) << code;
        CancelScriptInterrupt();
    }
}

// Lua copies a thread's hook to a coroutine it makes one field after the
// other; the signal, landing between them, leaves the coroutine the hook
// without its mask. Its resume arms it all the same. Signals come from
// another thread as fast as it can send them until such a coroutine was
// made (or five seconds passed: a build whose allocations are slow, under a
// sanitizer, may see none, and then has nothing to check).
TEST_F(LuaState, ACoroutineMadeAsTheSignalLandsIsArmed) {
    struct sigaction action = {};
    struct sigaction saved = {};
    action.sa_handler = [](int) { InterruptRunningScript(); };
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &saved), 0);
    lua_State* co = nullptr;
    {
        std::atomic<bool> stop{false};
        const pthread_t self = pthread_self();
        std::thread signaller([&] {
            while (!stop.load()) pthread_kill(self, SIGUSR1);
        });
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!co && std::chrono::steady_clock::now() < until) {
            lua_sethook(L, nullptr, 0, 0);
            lua_State* made = lua_newthread(L);
            if (lua_gethook(made) && lua_gethookmask(made) == 0) {
                co = made;
            } else {
                lua_pop(L, 1);
            }
        }
        stop = true;
        signaller.join();
    }
    sigaction(SIGUSR1, &saved, nullptr);
    if (!co) GTEST_SKIP() << "no coroutine was made as a signal landed";
    luaL_loadstring(L, "for i = 1, 3e7 do end");
    lua_xmove(L, co, 1);
    lua_setglobal(L, "co");
    EXPECT_EQ(Run("local ok, e = coroutine.resume(co) assert(not ok and e:find('interrupted'), e)"),
              "");
}

// The engine's way into Lua takes the engine's own calls only: a script
// that calls it with a pointer of its own, or puts a function of its own in
// its place in the registry, runs nothing.
TEST_F(LuaState, TheProtectedEntryTakesOnlyTheEngine) {
    // Laid out as the entry's call record.
    static struct {
        void (*body)(lua_State*, void*);
        void* data;
        bool entered, returned;
    } forged{[](lua_State* S, void*) { lua_pushboolean(S, 1), lua_setglobal(S, "forged"); },
             nullptr, false, false};
    RegisterLuaFunction([](lua_State* S) { return lua_pushlightuserdata(S, &forged), 1; },
                        "Forged");
    ASSERT_EQ(Run("for k, v in pairs(debug.getregistry()) do if type(v) == 'function' and not\n"
                  "pcall(string.dump, v) then pcall(v, Forged()) debug.getregistry()[k] =\n"
                  "function() hijacked = true end end end"),
              "");
    EXPECT_TRUE(
        ProtectLua(L, [](lua_State* S) { lua_pushboolean(S, 1), lua_setglobal(S, "ran"); }));
    EXPECT_TRUE(True("ran and not hijacked and not forged"));
}

// The engine's coroutine.resume, coroutine.wrap and xpcall give what Lua's
// own give: each case returns the same text in a plain state.
TEST_F(LuaState, CoroutinesAndXpcallAsLuaHasThem) {
    const char* const cases[] = {
        "local function nest(n) if n == 0 then return 'bottom' end local ok, v ="
        " coroutine.resume(coroutine.create(nest), n - 1) return v end return nest(190) .. nest(250)",
        "local function nest(n) return n == 0 and 'bottom' or coroutine.wrap(nest)(n - 1) end "
        "return nest(190)",
        "return select(2, pcall(function() coroutine.wrap(function() error('x') end)() end))",
        "local co co = coroutine.create(function() return coroutine.resume(co) end) local _, _, e ="
        " coroutine.resume(co) return e .. select(2, coroutine.resume(co)) .. select(2, pcall("
        "coroutine.resume, 1)) .. select(2, pcall(coroutine.wrap, print))",
        "local function raise() local x = nil + 1 end return select(2, xpcall(raise, function(e) "
        "local i = debug.getinfo(2, 'Sl') return i.short_src .. i.currentline .. debug.traceback(e)"
        " end))",
        "return select(2, xpcall(function() error('x') end, debug.traceback))",
        "return select(2, xpcall(error, setmetatable({}, {__call = function() return 'c' end})))",
    };
    lua_State* plain = luaL_newstate();
    luaL_openlibs(plain);
    const auto outcome = [](lua_State* S, const char* code) {
        const bool ran = luaL_loadstring(S, code) == 0 && lua_pcall(S, 0, 1, 0) == 0;
        const char* text = lua_tostring(S, -1);
        std::string result = (ran ? "" : "error: ") + std::string(text ? text : "(no text)");
        lua_settop(S, 0);
        return result;
    };
    for (const char* code : cases) EXPECT_EQ(outcome(L, code), outcome(plain, code)) << code;
    lua_close(plain);
}
