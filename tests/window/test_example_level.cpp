// The README's worked example, played from the files in Resources/: the
// arrow keys move the player, coins are collected through "Collision"
// messages and each one plays the coin sound.
#include <gtest/gtest.h>

#include <chrono>
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

TEST(ExampleLevel, TheArrowKeysCollectTheCoinsWithASound) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    // The first level switches to the example once it runs.
    TestSupport::MakeGameFolder(dir, R"lua(
        starts = (starts or 0) + 1
        if starts == 2 then print("example loaded") end
        function OnLevelUpdate(dt)
            if starts == 1 then ExecuteConsoleCommand("level GenericTileLevel Example_Coins.tmx") end
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
