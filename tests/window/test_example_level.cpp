// The README's worked example, played from the files in Resources/: the
// arrow keys move the player, coins are collected through "Collision"
// messages and each one plays the coin sound, and the walls keep the player
// in the map.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

void CopyFromProject(const TestSupport::TempDir& dir, const std::string& relative) {
    fs::path target = fs::path(dir.Path()) / relative;
    fs::create_directories(target.parent_path());
    fs::copy(fs::path(TAZZLE_SOURCE_DIR) / relative, target, fs::copy_options::recursive);
}

bool WaitForOutput(const TestSupport::GameProcess& game, const std::string& text, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (game.Output().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

TEST(ExampleLevel, TheArrowKeysCollectTheCoinsWithASoundWithinTheWalls) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    // The first level switches to the example once it runs; there an object
    // of the test's watches the player.
    TestSupport::MakeGameFolder(dir, R"lua(
        starts = (starts or 0) + 1
        if starts == 2 then
            LuaObject:new():GetComponent("LuaComponent"):SetUpdateScript("Test/Watch.lua")
            print("example loaded")
        end
        function OnLevelUpdate(dt)
            if starts == 1 then ExecuteConsoleCommand("level GenericTileLevel Example_Coins.tmx") end
        end
    )lua");
    // Every frame: the highest and lowest the player's centre has been; once
    // Up has been held for 2 s of game time (600 units of movement, more
    // than the map is high), then Down for 4 s (from wherever Up left the
    // player), a line with both.
    dir.Write("Resources/Lua/Test/Watch.lua", R"lua(
        local y = GetObjectByName("Player"):GetComponent("Transform").y
        highest, lowest = math.max(highest or y, y), math.min(lowest or y, y)
        held = held or {}
        for key, hold in pairs({[265] = {"Up", 2}, [264] = {"Down", 4}}) do
            local before = held[key] or 0
            if IsKeyPressed(key) == 1 then held[key] = before + getdt() end
            if before < hold[2] and (held[key] or 0) >= hold[2] then
                print(string.format("%s held: y from %.1f to %.1f", hold[1], lowest, highest))
            end
        end
    )lua");
    for (const char* file : {"Resources/Levels/Example_Coins.tmx", "Resources/Levels/splash_tiles.png",
                             "Resources/Lua/Example", "Resources/Sound/coin.wav"}) {
        CopyFromProject(dir, file);
    }
    TestSupport::WriteFirstLevel(dir);

    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    ASSERT_TRUE(WaitForOutput(game, "example loaded", 30.0)) << game.Output();
    EXPECT_EQ(TestSupport::Shell("xdotool keydown Right"), 0);
    bool collected = WaitForOutput(game, "Coins: 3", 30.0);
    TestSupport::Shell("xdotool keyup Right");
    // Up, then Down, pushes the player (48 units high, its centre starting
    // 272 units down the 544-unit map) against the top and bottom walls.
    double lowest = 0, highest = 0;
    for (const char* key : {"Up", "Down"}) {
        EXPECT_EQ(TestSupport::Shell(std::string("xdotool keydown ") + key), 0);
        const std::string held = std::string(key) + " held: ";
        const bool told = WaitForOutput(game, held, 30.0);
        TestSupport::Shell(std::string("xdotool keyup ") + key);
        const std::string out = game.Output();
        ASSERT_TRUE(told) << out;
        ASSERT_EQ(std::sscanf(out.c_str() + out.find(held) + held.size(), "y from %lf to %lf",
                              &lowest, &highest), 2)
            << out;
    }
    EXPECT_LE(highest + 24, 0.0) << "the player left the map at the top";
    EXPECT_GE(lowest - 24, -544.0) << "the player left the map at the bottom";
    // ... having reached the walls (32 units thick) there.
    EXPECT_GE(highest + 24, -40.0) << "Up did not bring the player to the top wall";
    EXPECT_LE(lowest - 24, -504.0) << "Down did not bring the player to the bottom wall";
    EXPECT_EQ(TestSupport::Shell("wmctrl -c Tazzle"), 0);
    EXPECT_EQ(game.Wait(30.0), 0) << game.Output();

    std::string out = game.Output();
    EXPECT_TRUE(collected) << out;
    const size_t first = out.find("Coins: 1"), second = out.find("Coins: 2");
    EXPECT_TRUE(first != std::string::npos && second != std::string::npos && first < second)
        << out;
    // The sound was loaded under its name and found when played.
    EXPECT_EQ(out.find("Sound file not loaded"), std::string::npos) << out;
    EXPECT_EQ(out.find("Sound not played"), std::string::npos) << out;
    EXPECT_EQ(out.find("Lua Error"), std::string::npos) << out;
}
