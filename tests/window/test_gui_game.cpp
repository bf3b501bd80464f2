// The GUI in the real executable: the project's layout file gives the FPS
// counter its label, which starts hidden; F3, pressed on the real display,
// shows it and F3 again hides it, as the pixels of the presented frame show.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

bool WaitForFile(const std::string& path, TestSupport::GameProcess& game, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::exists(path)) return true;
        if (!game.Running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Counts the yellow pixels where the layout puts the FPS label (its text
// starts at 60/1000, 40/1000 of the screen), every fifth frame, and moves
// through the phases: hidden at start, shown after the first F3, hidden
// after the second. Each phase leaves a file for the test to see.
const char* kWatchFpsLabel = R"lua(
    frames = 0
    phase = 0
    local function mark(name)
        local f = io.open(name, "w"); f:write("x"); f:close()
    end
    local function yellow()
        local n = 0
        for px = 110, 360, 3 do
            for py = 15, 90, 3 do
                local x, y = px - 960, 540 - py
                if GetPixelValue_R(x, y) > 180 and GetPixelValue_G(x, y) > 180
                   and GetPixelValue_B(x, y) < 90 then
                    n = n + 1
                end
            end
        end
        return n
    end
    function OnLevelUpdate(dt)
        frames = frames + 1
        if frames % 5 ~= 0 then return end
        local n = yellow()
        if phase == 0 and frames >= 30 then
            print("at start " .. n)
            phase = 1
            mark("hidden1")
        elseif phase == 1 and n > 0 then
            print("after F3 shown " .. n)
            phase = 2
            mark("shown")
        elseif phase == 2 and n == 0 then
            print("after F3 again hidden")
            ExecuteConsoleCommand("level QUIT_GAME")
        end
        if frames > 4000 then
            print("gave up in phase " .. phase)
            ExecuteConsoleCommand("level QUIT_GAME")
        end
    end
)lua";

}  // namespace

TEST(GuiGame, F3ShowsAndHidesTheFpsLabelOfTheLayoutFile) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    TestSupport::MakeGameFolder(dir, kWatchFpsLabel);
    TestSupport::WriteFirstLevel(dir);
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    const std::string key = "xdotool search --name '^Tazzle$' windowactivate --sync key F3";

    ASSERT_TRUE(WaitForFile(dir.Path() + "/hidden1", game, 60.0)) << game.Output();
    EXPECT_EQ(TestSupport::Shell(key), 0);
    ASSERT_TRUE(WaitForFile(dir.Path() + "/shown", game, 60.0)) << game.Output();
    EXPECT_EQ(TestSupport::Shell(key), 0);

    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
    const std::string out = game.Output();
    EXPECT_NE(out.find("at start 0"), std::string::npos) << out;
    EXPECT_NE(out.find("after F3 shown "), std::string::npos) << out;
    EXPECT_NE(out.find("after F3 again hidden"), std::string::npos) << out;
}
