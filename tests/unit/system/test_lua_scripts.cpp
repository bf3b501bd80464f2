#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "System/Source/LuaState.h"
#include "System/Source/ScriptRegistry.h"
#include "support/TestSupport.h"
#include "test_lua_support.h"

namespace {

namespace fs = std::filesystem;

class ScriptRegistryTest : public LuaFixture {
protected:
    void SetUp() override {
        LuaFixture::SetUp();
        RegisterLuaFunction(LuaDoScript, "DoScript");
        CreateScriptRegistry();
        base = fs::file_time_type::clock::now() + std::chrono::hours(1);
    }

    // Writes a script and gives it a modification time of base + offset.
    std::string Save(const std::string& name, const std::string& code,
                     std::chrono::milliseconds offset) {
        std::string path = dir.Write(name, code);
        fs::last_write_time(path, base + offset);
        return path;
    }
    // Runs entry `index` and returns the global `v` it sets (-1 when the
    // entry has no chunk).
    double RunEntry(int index) {
        int top = lua_gettop(L);
        double v = -1;
        if (PushScriptChunk(L, index) && lua_pcall(L, 0, 0, 0) == 0) {
            lua_getglobal(L, "v");
            v = lua_tonumber(L, -1);
        }
        lua_settop(L, top);
        return v;
    }
    std::string HotReload() {
        return TestSupport::CaptureStdout([] {
            RunScriptWatcherPass();
            ReloadChangedScripts();
        });
    }

    TestSupport::TempDir dir;
    fs::file_time_type base;
};

using std::chrono::milliseconds;

TEST_F(ScriptRegistryTest, ScriptsAreKeyedByTheirExactPath) {
    std::string path = Save("Scripts/a.lua", "v = 1", milliseconds(0));
    int first = LoadScript(path.c_str());
    dir.Write("Scripts/a.lua", "v = 2");  // not compiled again by a second load
    EXPECT_EQ(LoadScript(path.c_str()), first);
    EXPECT_EQ(RunEntry(first), 1);
    EXPECT_EQ(ScriptCount(), 1);

    // The same file under another spelling is another script.
    std::string other = dir.Path() + "/scripts/A.lua";
    int second = LoadScript(other.c_str());
    EXPECT_NE(second, first);
    EXPECT_EQ(RunEntry(second), 2);
    std::string dotted = dir.Path() + "/./Scripts/a.lua";
    EXPECT_EQ(LoadScript(dotted.c_str()), 2);
    ScriptEntry entry;
    ASSERT_TRUE(GetScriptEntry(second, entry));
    EXPECT_EQ(System::ToStd(entry.path), other);
    EXPECT_FALSE(GetScriptEntry(3, entry));
    EXPECT_FALSE(GetScriptEntry(-1, entry));
    EXPECT_FALSE(PushScriptChunk(L, 7));
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(ScriptRegistryTest, BrokenEditKeepsTheLastGoodVersion) {
    std::string path = Save("s.lua", "v = 1", milliseconds(0));
    int index = LoadScript(path.c_str());
    EXPECT_EQ(HotReload(), "");  // the first pass takes the file's time
    EXPECT_EQ(RunEntry(index), 1);

    Save("s.lua", "v = = 2", milliseconds(5000));
    std::string out = HotReload();
    EXPECT_EQ(out.rfind("File " + path + " had a syntax error: ", 0), 0u) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1);
    EXPECT_EQ(RunEntry(index), 1);
    // Not tried again until the next save.
    EXPECT_EQ(HotReload(), "");
    out = TestSupport::CaptureStdout([&] { EXPECT_FALSE(ReloadScript(index)); });
    EXPECT_NE(out.find("had a syntax error"), std::string::npos);  // reported again
    EXPECT_EQ(RunEntry(index), 1);

    Save("s.lua", "v = 3", milliseconds(10000));
    EXPECT_EQ(HotReload(), "");
    EXPECT_EQ(RunEntry(index), 3);
    RunScriptWatcherPass();
    EXPECT_FALSE(ScriptsChanged());
}

TEST_F(ScriptRegistryTest, TwoSavesWithinOneSecondAreBothSeen) {
    std::string path = Save("quick.lua", "v = 1", milliseconds(0));
    int index = LoadScript(path.c_str());
    HotReload();
    Save("quick.lua", "v = 2", milliseconds(100));
    HotReload();
    EXPECT_EQ(RunEntry(index), 2);
    Save("quick.lua", "v = 3", milliseconds(400));
    HotReload();
    EXPECT_EQ(RunEntry(index), 3);
}

TEST_F(ScriptRegistryTest, MissingFileRunsNothingUntilItAppears) {
    std::string path = dir.Path() + "/late.lua";
    std::string out = TestSupport::CaptureStdout([&] { EXPECT_EQ(LoadScript(path.c_str()), 0); });
    EXPECT_EQ(out, "Lua was unable to open the file. cannot open " + path +
                       ": No such file or directory\n");
    EXPECT_EQ(RunEntry(0), -1);
    EXPECT_EQ(HotReload(), "");  // a failed file query changes nothing
    EXPECT_FALSE(ScriptsChanged());

    Save("late.lua", "v = 9", milliseconds(0));
    EXPECT_EQ(HotReload(), "");
    EXPECT_EQ(RunEntry(0), 9);
    // A file that goes away again keeps its chunk.
    fs::remove(path);
    EXPECT_EQ(HotReload(), "");
    EXPECT_EQ(RunEntry(0), 9);
}

TEST_F(ScriptRegistryTest, DoScriptHandsBackTheChunk) {
    std::string path = Save("do.lua", "ran = (ran or 0) + 1 return ...", milliseconds(0));
    lua_pushstring(L, path.c_str());
    lua_setglobal(L, "path");
    ASSERT_EQ(Run("f = DoScript(path) g = DoScript('ignored', path)"), "");
    ASSERT_EQ(Run("assert(type(f) == 'function' and f == g and ran == nil)"), "");
    ASSERT_EQ(Run("assert(f(5) == 5 and ran == 1)"), "");
    EXPECT_EQ(ScriptCount(), 1);

    std::string out = TestSupport::CaptureStdout(
        [&] { EXPECT_EQ(Run("assert(DoScript(path .. '.none') == nil)"), ""); });
    EXPECT_NE(out.find("Lua was unable to open the file."), std::string::npos);
    EXPECT_NE(Run("DoScript({})").find("DoScript expects the path of a script"), std::string::npos);
    out = TestSupport::CaptureStdout([&] { EXPECT_EQ(Run("assert(DoScript(5) == nil)"), ""); });
    EXPECT_NE(out.find("cannot open 5"), std::string::npos);  // a number is a path as text
    EXPECT_NE(Run("DoScript()").find("DoScript expects the path of a script"), std::string::npos);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(ScriptRegistryTest, ExplicitReloadReplacesOnlyOnSuccess) {
    std::string path = Save("r.lua", "v = 1", milliseconds(0));
    int index = LoadScript(path.c_str());
    dir.Write("r.lua", "v = 2");
    EXPECT_TRUE(ReloadScript(index));
    EXPECT_EQ(RunEntry(index), 2);
    fs::remove(path);
    TestSupport::CaptureStdout([&] { EXPECT_FALSE(ReloadScript(index)); });
    EXPECT_EQ(RunEntry(index), 2);
    EXPECT_FALSE(ReloadScript(-1));
    EXPECT_FALSE(ReloadScript(5));
}

TEST_F(ScriptRegistryTest, WatcherStopsPromptly) {
    std::this_thread::sleep_for(milliseconds(20));  // let the watcher reach its wait
    auto start = std::chrono::steady_clock::now();
    StopScriptWatcher();
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(200));
    EXPECT_EQ(ScriptCount(), 0);
    StopScriptWatcher();  // twice is harmless
    // Scripts still load without a watcher; a new registry starts empty.
    std::string path = Save("w.lua", "v = 4", milliseconds(0));
    EXPECT_EQ(LoadScript(path.c_str()), 0);
    EXPECT_EQ(RunEntry(0), 4);
}

TEST_F(ScriptRegistryTest, AppendsWhileAnotherThreadWalksTheList) {
    std::atomic<bool> done{false};
    std::thread walker([&] {
        while (!done.load()) RunScriptWatcherPass();
    });
    for (int i = 0; i < 200; ++i) {
        std::string path =
            Save("many/" + std::to_string(i) + ".lua", "v = " + std::to_string(i), milliseconds(i));
        EXPECT_EQ(LoadScript(path.c_str()), i);
        ReloadChangedScripts();
    }
    done.store(true);
    walker.join();
    HotReload();
    RunScriptWatcherPass();
    EXPECT_FALSE(ScriptsChanged());
    EXPECT_EQ(RunEntry(199), 199);
}

}  // namespace
