// Scripts edited on disk while the real game runs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

bool WaitForOutput(TestSupport::GameProcess& game, const std::string& text, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (game.Output().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

TEST(HotReload, AnEditTakesEffectAndASyntaxErrorKeepsTheOldVersion) {
    TestSupport::TempDir dir;
    dir.Write("Resources/Lua/Globals/LuaGlobals.lua", "");
    dir.Write("Resources/Lua/Globals/EndOfLevel.lua", "");
    // Every frame runs the current version of tick.lua.
    dir.Write("Resources/Lua/Globals/StartOfLevel.lua",
              "function OnLevelUpdate(dt) DoScript('Resources/Lua/tick.lua')() end\n");
    TestSupport::WriteFirstLevel(dir);
    dir.Write("Resources/Lua/tick.lua", "if not seen1 then seen1 = true print('version 1') end\n");
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(WaitForOutput(game, "version 1", 30.0)) << game.Output();

    dir.Write("Resources/Lua/tick.lua", "if not seen2 then seen2 = true print('version 2') end\n");
    auto saved = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitForOutput(game, "version 2", 10.0)) << game.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - saved, std::chrono::milliseconds(3500));

    dir.Write("Resources/Lua/tick.lua", "if then\n");
    ASSERT_TRUE(WaitForOutput(game, "had a syntax error", 10.0)) << game.Output();
    // The last good version goes on running: the game is still alive.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(game.Running());
    dir.Write("Resources/Lua/tick.lua",
              "print('version 3') ExecuteConsoleCommand('level QUIT_GAME')\n");
    EXPECT_EQ(game.Wait(15.0), 0) << game.Output();
    std::string out = game.Output();
    EXPECT_NE(out.find("version 3"), std::string::npos) << out;
    EXPECT_NE(out.find("File Resources/Lua/tick.lua had a syntax error: "), std::string::npos);
}
