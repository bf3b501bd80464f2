// The developer console in the real executable, driven by real key events
// on the display: the backquote opens it, typed text shows in its input, a
// submitted line is echoed and its "cannot be found" line printed in the
// output area, Up recalls the line, and "level QUIT_GAME" ends the game;
// clicks in the output leave the keyboard with the input. F3's displays,
// shown first and toggled while it is open, never hide it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/GameProcess.h"
#include "support/ScreenCapture.h"
#include "support/TestSupport.h"

namespace {

// The game counts its frames in a file, says when it has run a while and
// prints a line from a script then.
const char* kCountFrames = R"lua(
    frames = 0
    function OnLevelUpdate(dt)
        frames = frames + 1
        local f = io.open("frame.tmp", "w"); f:write(frames); f:close()
        os.rename("frame.tmp", "frame")
        if frames == 30 then
            Print("script says hi\n")
            local r = io.open("ready", "w"); r:write("x"); r:close()
        end
    end
)lua";

// What the display shows of the console in a 1920x1080 window: its grey
// body around (400, 150); dark text in the input (from x 436, y 905) and on
// the third output line (the "cannot be found" line, the only one reaching
// past x 600); the output's grey at the screen's centre.
struct ConsolePixels {
    int body = 0, input = 0, line3 = 0, centre = 0;
};

ConsolePixels LookAtConsole() {
    using TestSupport::ScreenPixel;
    TestSupport::ScreenImage screen = TestSupport::ScreenImage::Capture();
    auto grey = [](ScreenPixel p) { return p.r == 150 && p.g == 150 && p.b == 150; };
    auto dark = [](ScreenPixel p) { return p.r < 40 && p.g < 40 && p.b < 40; };
    ConsolePixels seen;
    seen.body = screen.Count(390, 130, 420, 170, 2, grey);
    seen.input = screen.Count(436, 905, 700, 931, 2, dark);
    seen.line3 = screen.Count(600, 250, 900, 300, 2, dark);
    auto output = [](ScreenPixel p) { return p.r == 80 && p.g == 80 && p.b == 80; };
    seen.centre = screen.Count(950, 530, 970, 550, 2, output);
    return seen;
}

}  // namespace

TEST(ConsoleGame, TypedCommandsRunWithEchoHistoryAndQuit) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    TestSupport::MakeGameFolder(dir, kCountFrames);
    TestSupport::WriteFirstLevel(dir);
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    auto send = [](const std::string& action) {
        return TestSupport::Shell(
            "xdotool search --name '^Tazzle$' windowactivate --sync " + action);
    };
    // Each key is tapped, then two frames pass, at whatever speed the game
    // runs (a key held over slow frames would repeat, and a repeated
    // backquote closes the console). So is the button of a click in the
    // middle of the output.
    auto frame = [&] { return std::atoi(TestSupport::ReadFile(dir.Path() + "/frame").c_str()); };
    auto settle = [&] {
        const int start = frame();
        for (int i = 0; i < 600 && frame() < start + 2 && game.Running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    auto press = [&](const std::string& key) {
        EXPECT_EQ(send(key == "click" ? "mousemove 900 500 click 1" : "key " + key), 0);
        settle();
    };
    auto type = [&](const std::string& text) {
        for (char c : text) press(c == ' ' ? "space" : c == '_' ? "underscore" : std::string(1, c));
    };

    ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
        << game.Output();
    EXPECT_EQ(LookAtConsole().body, 0) << "the console shows before the backquote";
    press("F3");
    press("grave");
    ASSERT_TRUE(TestSupport::WaitWhileRunning([] { ConsolePixels p = LookAtConsole(); return p.body > 0 && p.centre > 0; }, game, 30.0))
        << "the backquote opens no console over F3's displays\n" << game.Output();
    press("F3");
    press("F3");
    EXPECT_GT(LookAtConsole().centre, 0) << "F3 hides the open console";
    EXPECT_EQ(LookAtConsole().line3, 0) << "the output is not empty";
    press("click");
    type("clear");
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { ConsolePixels p = LookAtConsole(); return p.input > 0; }, game, 30.0))
        << "typed text does not show";
    press("Return");
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { ConsolePixels p = LookAtConsole(); return p.line3 > 0 && p.input == 0; }, game, 30.0))
        << "the not-found line does not show, or the input was not cleared";
    press("Up");
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { ConsolePixels p = LookAtConsole(); return p.input > 0; }, game, 30.0))
        << "Up recalls nothing";
    press("click");
    for (int i = 0; i < 5; ++i) press("BackSpace");
    type("level QUIT_GAME");
    send("key Return");  // the game ends with it: no window to release it on

    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
    const std::string out = game.Output();
    // The console's output keeps a copy on standard output.
    EXPECT_NE(out.find("script says hi\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":clear\nCommand \"clear\" cannot be found\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":level QUIT_GAME\n"), std::string::npos) << out;
}
