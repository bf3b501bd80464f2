// The developer console in the real executable, driven by real key events
// on the display: the backquote opens it, typed text shows in its input, a
// submitted line is echoed and its "cannot be found" line printed in the
// output area, Up recalls the line, and "level QUIT_GAME" ends the game.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

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
    frames, phase = 0, 0
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
    -- Each phase: its file, and when it is reached.
    local phases = {
        {"ready", function(body, input, line3) return frames >= 30 end},
        {"opened", function(body, input, line3) return body > 0 end},
        {"typed", function(body, input, line3) return input > 0 end},
        {"printed", function(body, input, line3) return line3 > 0 and input == 0 end},
        {"recalled", function(body, input, line3) return input > 0 end},
    }
    function OnLevelUpdate(dt)
        frames = frames + 1
        local f = io.open("frame.tmp", "w"); f:write(frames); f:close()
        os.rename("frame.tmp", "frame")
        if frames % 3 ~= 0 then return end
        local body = count(390, 420, 130, 170, grey)
        local input = count(436, 700, 905, 931, dark)
        local line3 = count(600, 900, 250, 300, dark)
        local p = phases[phase + 1]
        if p and p[2](body, input, line3) then
            print(p[1] .. ": body " .. body .. ", line " .. line3)
            if phase == 0 then Print("script says hi\n") end
            phase = phase + 1
            mark(p[1])
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
    auto send = [](const std::string& action) {
        return TestSupport::Shell(
            "xdotool search --name '^Tazzle$' windowactivate --sync " + action);
    };
    auto reached = [&](const char* phase) {
        return TestSupport::AwaitFileWhileRunning(dir.Path() + "/" + phase, game, 60.0);
    };
    // The game reads the typed characters once per frame, as a set: each
    // key goes in a frame of its own, and a key that is not a character is
    // held over a frame, at whatever speed the game runs.
    auto frame = [&] { return std::atoi(TestSupport::ReadFile(dir.Path() + "/frame").c_str()); };
    auto settle = [&] {
        const int start = frame();
        for (int i = 0; i < 600 && frame() < start + 2 && game.Running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    auto press = [&](const std::string& key) {
        EXPECT_EQ(send("keydown " + key), 0);
        settle();
        EXPECT_EQ(send("keyup " + key), 0);
        settle();
    };
    auto type = [&](const std::string& text) {
        for (char c : text) press(c == ' ' ? "space" : c == '_' ? "underscore" : std::string(1, c));
    };

    ASSERT_TRUE(reached("ready")) << game.Output();
    press("grave");
    ASSERT_TRUE(reached("opened")) << game.Output();
    type("clear");
    ASSERT_TRUE(reached("typed")) << game.Output();
    press("Return");
    ASSERT_TRUE(reached("printed")) << game.Output();
    press("Up");
    ASSERT_TRUE(reached("recalled")) << game.Output();
    for (int i = 0; i < 5; ++i) press("BackSpace");
    type("level QUIT_GAME");
    send("key Return");  // the game ends with it: no window to release it on

    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
    const std::string out = game.Output();
    // Hidden at start; opened with an empty output.
    EXPECT_NE(out.find("ready: body 0,"), std::string::npos) << out;
    const size_t opened = out.find("opened: body");
    ASSERT_NE(opened, std::string::npos) << out;
    EXPECT_EQ(out.substr(out.find('\n', opened) - 8, 8), ", line 0") << out;
    // The console's output keeps a copy on standard output.
    EXPECT_NE(out.find("script says hi\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":clear\nCommand \"clear\" cannot be found\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":level QUIT_GAME\n"), std::string::npos) << out;
}
