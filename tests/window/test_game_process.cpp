// The real executable, started in a directory with its own small Resources
// tree, under the test display.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

void WriteScripts(const TestSupport::TempDir& dir, const std::string& startOfLevel) {
    dir.Write("Resources/Lua/Globals/LuaGlobals.lua", "print('globals')\n");
    dir.Write("Resources/Lua/Globals/StartOfLevel.lua", startOfLevel);
    TestSupport::WriteFirstLevel(dir);
    dir.Write("Resources/Lua/Globals/EndOfLevel.lua",
              "local f = io.open('ended.txt', 'a'); f:write('ended\\n'); f:close()\n");
}

}  // namespace

TEST(GameProcess, ClosingTheWindowEndsTheLevelAndExitsCleanly) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    WriteScripts(dir, "print('level started')\n");
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    // Frames run until the window is asked to close.
    EXPECT_EQ(game.Wait(0.5), -1);
    // wmctrl asks the window manager, which sends WM_DELETE_WINDOW.
    EXPECT_EQ(TestSupport::Shell("wmctrl -c Tazzle"), 0);
    EXPECT_EQ(game.Wait(30.0), 0) << game.Output();
    EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt"), "ended\n");
    std::string output = game.Output();
    EXPECT_NE(output.find("globals"), std::string::npos);
    EXPECT_NE(output.find("level started"), std::string::npos);
}

TEST(GameProcess, AScriptCanQuitThroughTheConsole) {
    TestSupport::TempDir dir;
    WriteScripts(dir,
                 "starts = (starts or 0) + 1\n"
                 "if starts < 3 then ExecuteConsoleCommand('reload')\n"
                 "else ExecuteConsoleCommand('level QUIT_GAME') end\n");
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
    EXPECT_EQ(TestSupport::ReadFile(dir.Path() + "/ended.txt"), "ended\nended\nended\n");
}

TEST(GameProcess, WithoutADisplayItExitsWithOne) {
    TestSupport::TempDir dir;
    WriteScripts(dir, "");
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path(), false);
    EXPECT_EQ(game.Wait(30.0), 1) << game.Output();
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/ended.txt"));
}
