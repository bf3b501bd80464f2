// The developer console in the real executable, driven by real key events
// on the display: the backquote opens it, typed text shows in its input, a
// submitted line is echoed and its "cannot be found" line printed in the
// output area, Up recalls the line, and "level QUIT_GAME" ends the game.
#include <gtest/gtest.h>

#include <string>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

namespace {

// The console in a 1920x1080 viewport: its grey body around (400, 150),
// the output area from x 432, y 216 (text from 436, 220, one line about
// 22 pixels), the input's background from x 432, y 903 to 933. The script
// counts dark text pixels in the input and on the third output line (the
// "cannot be found" line, the only one reaching past x 600), moves through
// the phases and leaves a file for the test at each one.
const char* kWatchConsole = R"lua(
    frames = 0
    phase = 0
    local function mark(name)
        local f = io.open(name, "w"); f:write("x"); f:close()
    end
    local function count(x1, x2, y1, y2, test)
        local n = 0
        for px = x1, x2, 2 do
            for py = y1, y2, 2 do
                local x, y = px - 960, 540 - py
                if test(GetPixelValue_R(x, y), GetPixelValue_G(x, y), GetPixelValue_B(x, y)) then
                    n = n + 1
                end
            end
        end
        return n
    end
    local function grey(r, g, b) return r == 150 and g == 150 and b == 150 end
    local function dark(r, g, b) return r < 40 and g < 40 and b < 40 end
    function OnLevelUpdate(dt)
        frames = frames + 1
        if frames % 3 ~= 0 then return end
        local body = count(390, 420, 130, 170, grey)
        local input = count(436, 700, 905, 931, dark)
        local line3 = count(600, 900, 250, 300, dark)
        if phase == 0 and frames >= 30 then
            print("hidden body " .. body)
            Print("script says hi\n")
            phase = 1
            mark("ready")
        elseif phase == 1 and body > 0 then
            print("opened, output line " .. line3)
            phase = 2
            mark("opened")
        elseif phase == 2 and input > 0 then
            print("typed " .. input)
            phase = 3
            mark("typed")
        elseif phase == 3 and line3 > 0 and input == 0 then
            print("printed " .. line3)
            phase = 4
            mark("printed")
        elseif phase == 4 and input > 0 then
            print("recalled " .. input)
            phase = 5
            mark("recalled")
        end
        if frames > 6000 then ExecuteConsoleCommand("level QUIT_GAME") end
    end
)lua";

}  // namespace

TEST(ConsoleGame, TypedCommandsRunWithEchoHistoryAndQuit) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    TestSupport::MakeGameFolder(dir, kWatchConsole);
    TestSupport::WriteFirstLevel(dir);
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    // The game reads typed characters once per frame: keys go slowly
    // enough that each lands in a frame of its own.
    auto send = [](const std::string& action) {
        return TestSupport::Shell(
            "xdotool search --name '^Tazzle$' windowactivate --sync " + action);
    };
    auto reached = [&](const char* phase) {
        return TestSupport::AwaitFileWhileRunning(dir.Path() + "/" + phase, game, 60.0);
    };

    ASSERT_TRUE(reached("ready")) << game.Output();
    EXPECT_EQ(send("key grave"), 0);
    ASSERT_TRUE(reached("opened")) << game.Output();
    EXPECT_EQ(send("type --delay 250 clear"), 0);
    ASSERT_TRUE(reached("typed")) << game.Output();
    EXPECT_EQ(send("key Return"), 0);
    ASSERT_TRUE(reached("printed")) << game.Output();
    // Keys other than characters count when held over a frame.
    EXPECT_EQ(send("keydown Up sleep 0.3 keyup Up"), 0);
    ASSERT_TRUE(reached("recalled")) << game.Output();
    EXPECT_EQ(send("key --delay 250 BackSpace BackSpace BackSpace BackSpace BackSpace"), 0);
    EXPECT_EQ(send("type --delay 250 'level QUIT_GAME'"), 0);
    EXPECT_EQ(send("key Return"), 0);

    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
    const std::string out = game.Output();
    EXPECT_NE(out.find("hidden body 0"), std::string::npos) << out;
    EXPECT_NE(out.find("opened, output line 0"), std::string::npos) << out;
    // The console's output keeps a copy on standard output.
    EXPECT_NE(out.find("script says hi\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":clear\nCommand \"clear\" cannot be found\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":level QUIT_GAME\n"), std::string::npos) << out;
}
