// The developer console in the real executable, driven by real key events
// on the display: the backquote opens it, typed text shows in its input, a
// submitted line is echoed and its "cannot be found" line printed in the
// output area, Up recalls the line, and "level QUIT_GAME" ends the game;
// clicks and drags in the output leave the keyboard with the input.
#include <gtest/gtest.h>

#include <memory>
#include <cstdlib>
#include <string>

#include "support/GameProcess.h"
#include "support/ScreenCapture.h"
#include "support/TestSupport.h"

namespace {

// The game counts its frames in a file, and once it has run a while runs
// `atThirty` and says it is ready.
std::string CountFrames(const std::string& atThirty) {
    return R"lua(
    frames = 0
    function OnLevelUpdate(dt)
        frames = frames + 1
        local f = io.open("frame.tmp", "w"); f:write(frames); f:close()
        os.rename("frame.tmp", "frame")
        if frames == 30 then
            )lua" + atThirty + R"lua(
            local r = io.open("ready", "w"); r:write("x"); r:close()
        end
    end
)lua";
}

// What the display shows of the console in a 1920x1080 window: its grey
// body around (400, 150); dark text in the input (from x 436, y 905) and on
// the third output line (the "cannot be found" line, the only one reaching
// past x 600).
struct ConsolePixels {
    int body = 0, input = 0, line3 = 0;
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
    return seen;
}

// The game started with a script made by CountFrames, ready.
class ConsoleGame : public ::testing::Test {
protected:
    void Start(const std::string& atThirty) {
        ASSERT_TRUE(TestSupport::EnsureWindowManager());
        TestSupport::MakeGameFolder(dir, CountFrames(atThirty));
        TestSupport::WriteFirstLevel(dir);
        game = std::make_unique<TestSupport::GameProcess>(TAZZLE_BINARY, dir.Path());
        ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game->Output();
        ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", *game, 60.0))
            << game->Output();
    }
    static int Send(const std::string& action) {
        return TestSupport::Shell("xdotool search --name '^Tazzle$' windowactivate --sync " + action);
    }
    // Two frames pass, at whatever speed the game runs.
    void Settle() {
        auto frame = [&] { return std::atoi(TestSupport::ReadFile(dir.Path() + "/frame").c_str()); };
        const int start = frame();
        TestSupport::WaitWhileRunning([&] { return frame() >= start + 2; }, *game, 60.0);
    }

    TestSupport::TempDir dir;
    std::unique_ptr<TestSupport::GameProcess> game;
};

}  // namespace

TEST_F(ConsoleGame, TypedCommandsRunWithEchoHistoryAndQuit) {
    Start("Print(\"script says hi\\n\")");
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *this->game;
    // Each key is tapped (a key held over slow frames would repeat, and a
    // repeated backquote closes the console), then two frames pass.
    auto press = [&](const std::string& key) {
        EXPECT_EQ(Send("key " + key), 0);
        Settle();
    };
    auto type = [&](const std::string& text) {
        for (char c : text) press(c == ' ' ? "space" : c == '_' ? "underscore" : std::string(1, c));
    };

    EXPECT_EQ(LookAtConsole().body, 0) << "the console shows before the backquote";
    press("grave");
    ASSERT_TRUE(TestSupport::WaitWhileRunning([] { ConsolePixels p = LookAtConsole(); return p.body > 0; }, game, 30.0))
        << "the backquote opens no console\n" << game.Output();
    EXPECT_EQ(LookAtConsole().line3, 0) << "the output is not empty";
    type("clear");
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { ConsolePixels p = LookAtConsole(); return p.input > 0; }, game, 30.0))
        << "typed text does not show";
    press("Return");
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { ConsolePixels p = LookAtConsole(); return p.line3 > 0 && p.input == 0; }, game, 30.0))
        << "the not-found line does not show, or the input was not cleared";
    press("Up");
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { ConsolePixels p = LookAtConsole(); return p.input > 0; }, game, 30.0))
        << "Up recalls nothing";
    for (int i = 0; i < 5; ++i) press("BackSpace");
    type("level QUIT_GAME");
    Send("key Return");  // the game ends with it: no window to release it on

    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
    const std::string out = game.Output();
    // The console's output keeps a copy on standard output.
    EXPECT_NE(out.find("script says hi\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":clear\nCommand \"clear\" cannot be found\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":level QUIT_GAME\n"), std::string::npos) << out;
}

namespace {

// White pixels of the scroll knob (the output's right edge, x 1466 to
// 1485 of a 1920x1080 window) between two rows of the display.
int KnobPixels(int top, int bottom) {
    TestSupport::ScreenImage screen = TestSupport::ScreenImage::Capture();
    return screen.Count(1468, top, 1484, bottom, 1, [](TestSupport::ScreenPixel p) {
        return p.r == 255 && p.g == 255 && p.b == 255;
    });
}

}  // namespace

// A click in the output, a drag of the knob and a drag across the text do
// not take the keyboard from the console's input: the lines typed after
// them run. Keys are short taps and whole strokes: nothing is held while
// frames pass but the mouse button of a drag, which does not repeat.
TEST_F(ConsoleGame, LinesTypedAfterClicksInTheOutputRun) {
    dir.Write("Resources/Lua/Mark.lua", "local f = io.open('marked', 'w') f:write('x') f:close()\n");
    // Enough lines for the knob to have room to move.
    Start("for i = 1, 300 do Print(\"line \" .. i .. \"\\n\") end");
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *this->game;
    EXPECT_EQ(Send("key grave"), 0);
    ASSERT_TRUE(TestSupport::WaitWhileRunning([] { return LookAtConsole().body > 0; }, game, 30.0))
        << "the backquote opens no console\n" << game.Output();
    Settle();

    // A click in the middle of the output, then a line that runs a script.
    EXPECT_EQ(Send("mousemove 900 500 click 1"), 0);
    Settle();
    EXPECT_EQ(Send("type --delay 30 'lua Mark'"), 0);
    EXPECT_EQ(Send("key Return"), 0);
    EXPECT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/marked", game, 60.0))
        << "the line typed after a click did not run\n" << game.Output();

    // The knob, at the foot of its track with the page at the end, dragged
    // up; then a drag across the text.
    ASSERT_TRUE(TestSupport::WaitWhileRunning([] { return KnobPixels(830, 860) > 0; }, game, 30.0))
        << "no knob at the foot of the track";
    EXPECT_EQ(Send("mousemove 1476 845 mousedown 1"), 0);
    Settle();
    EXPECT_EQ(Send("mousemove 1476 600"), 0);
    Settle();
    EXPECT_EQ(Send("mousemove 1476 400 mouseup 1"), 0);
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { return KnobPixels(360, 420) > 0; }, game, 30.0))
        << "the knob did not follow the drag";
    EXPECT_EQ(Send("mousemove 600 300 mousedown 1"), 0);
    Settle();
    EXPECT_EQ(Send("mousemove 900 360 mouseup 1"), 0);
    Settle();
    EXPECT_EQ(Send("type --delay 30 'level QUIT_GAME'"), 0);
    Send("key Return");  // the game ends with it

    EXPECT_EQ(game.Wait(60.0), 0) << "the line typed after the drags did not run\n" << game.Output();
    const std::string out = game.Output();
    EXPECT_NE(out.find(":lua Mark\n"), std::string::npos) << out;
    EXPECT_NE(out.find(":level QUIT_GAME\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Command \"\" cannot be found"), std::string::npos) << out;
}
