// The game's own menus in the real executable, worked with real input
// events on the display: the start screen's "Play" clicked with the mouse
// loads the playground; Escape there shows the pause menu, whose focus Down
// moves and Enter activates ("Quit" ends the game); F3 shows the profiler's
// pie graph next to the FPS label.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "support/GameProcess.h"
#include "support/ScreenCapture.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

bool WaitForOutput(TestSupport::GameProcess& game, const std::string& text, double seconds) {
    return TestSupport::WaitWhileRunning(
        [&] { return game.Output().find(text) != std::string::npos; }, game, seconds);
}

// The game exactly as shipped.
void CopyShippedResources(const TestSupport::TempDir& dir) {
    fs::copy(fs::path(TAZZLE_SOURCE_DIR) / "Resources", fs::path(dir.Path()) / "Resources",
             fs::copy_options::recursive);
}

// One xdotool command on the game's window, then a pause long enough for
// the game to see the event in a frame of its own.
int OnWindow(const std::string& command) {
    int code =
        TestSupport::Shell("xdotool search --name '^Tazzle$' windowactivate --sync " + command);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return code;
}

// Lit pixels on the display where the profiler's graph stands (its centre
// at 900, 130 thousandths of the screen, radius 58 plus the rings).
int LitGraphPixels() {
    TestSupport::ScreenImage screen = TestSupport::ScreenImage::Capture();
    return screen.Count(1660, 70, 1800, 210, 4, [](TestSupport::ScreenPixel p) {
        return p.r + p.g + p.b > 60;
    });
}

// A key held for a few frames: a press and release within one frame would
// never be seen as down. The release goes to the display whatever became of
// the window (the key may end the game): a key left down would reach the
// next test's game.
int Press(const std::string& key) {
    int code =
        TestSupport::Shell("xdotool search --name '^Tazzle$' windowactivate --sync keydown " + key);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    TestSupport::Shell("xdotool keyup " + key);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return code;
}

// The game exactly as shipped, started and showing its start menu.
class MenusGame : public ::testing::Test {
protected:
    // `adjust` may add test lines to the copied game before it starts.
    void StartAtTheStartMenu(const std::function<void(const std::string&)>& adjust = {}) {
        ASSERT_TRUE(TestSupport::EnsureWindowManager());
        CopyShippedResources(dir_);
        if (adjust) adjust(dir_.Path());
        game_ = std::make_unique<TestSupport::GameProcess>(TAZZLE_BINARY, dir_.Path());
        ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game_->Output();
        ASSERT_TRUE(WaitForOutput(*game_, "Start menu ready", 60.0)) << game_->Output();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }

    TestSupport::TempDir dir_;
    std::unique_ptr<TestSupport::GameProcess> game_;
};

}  // namespace

TEST_F(MenusGame, PlayLoadsTheLevelAndThePauseMenuQuitsByKeyboard) {
    StartAtTheStartMenu();
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *game_;

    // "Play" stands at 500, 640 thousandths of the full-screen window.
    EXPECT_EQ(OnWindow("mousemove 960 691 click 1"), 0);
    ASSERT_TRUE(WaitForOutput(game, "Playground loaded", 60.0)) << game.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // Resume is focused when the menu shows; Down twice reaches Quit.
    EXPECT_EQ(Press("Escape"), 0);
    EXPECT_TRUE(game.Running());
    EXPECT_EQ(Press("Down"), 0);
    EXPECT_EQ(Press("Down"), 0);
    EXPECT_TRUE(game.Running()) << "moving the focus activated something";
    EXPECT_EQ(Press("Return"), 0);
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
}

// How often `text` occurs in the game's output so far.
size_t CountOutput(TestSupport::GameProcess& game, const std::string& text) {
    const std::string out = game.Output();
    size_t count = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++count;
    return count;
}

TEST_F(MenusGame, TheKeyboardPlaysReturnsToTheStartMenuAndQuits) {
    StartAtTheStartMenu();
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *game_;

    // Enter is the start menu's "Play" key.
    EXPECT_EQ(Press("Return"), 0);
    ASSERT_TRUE(WaitForOutput(game, "Playground loaded", 60.0)) << game.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // The pause menu's second button goes back to the start menu, unpaused.
    EXPECT_EQ(Press("Escape"), 0);
    EXPECT_EQ(Press("Down"), 0);
    EXPECT_EQ(Press("Return"), 0);
    TestSupport::WaitWhileRunning([&] { return CountOutput(game, "Start menu ready") >= 2; }, game,
                                  60.0);
    ASSERT_EQ(CountOutput(game, "Start menu ready"), 2u) << game.Output();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // Q is the start menu's "Quit" key.
    EXPECT_EQ(Press("q"), 0);
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
}

TEST_F(MenusGame, F3ShowsTheProfilersPieGraph) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    TestSupport::MakeGameFolder(dir, TestSupport::kReadyThenQuitOnRequest);
    TestSupport::WriteFirstLevel(dir);
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
        << game.Output();
    EXPECT_EQ(LitGraphPixels(), 0) << "the graph shows before F3";
    EXPECT_EQ(Press("F3"), 0);
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { return LitGraphPixels() > 100; }, game, 30.0))
        << "F3 shows no graph";
    dir.Write("quit", "x");
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
}

namespace {

bool IsBlack(TestSupport::ScreenPixel p) {
    return p.r + p.g + p.b < 30;
}
bool IsWhite(TestSupport::ScreenPixel p) {
    return p.r > 235 && p.g > 235 && p.b > 235;
}

// Black pixels along the four edges of a full-screen 1920x1080 game: a
// 16:9 screen needs no bars, so a level that fills it leaves none.
int BlackAtTheEdges(const TestSupport::ScreenImage& screen) {
    return screen.Count(0, 0, 1920, 6, 3, IsBlack) + screen.Count(0, 1074, 1920, 1080, 3, IsBlack) +
           screen.Count(0, 0, 6, 1080, 3, IsBlack) + screen.Count(1914, 0, 1920, 1080, 3, IsBlack);
}

// The most rows in a row that hold white pixels inside the rectangle: the
// height of a line of white text there (small white things such as stars
// leave gaps between them).
int WhiteTextHeight(const TestSupport::ScreenImage& screen, int x0, int y0, int x1, int y1) {
    int longest = 0, run = 0;
    for (int y = y0; y < y1; ++y) {
        run = screen.Count(x0, y, x1, y + 1, 1, IsWhite) > 0 ? run + 1 : 0;
        if (run > longest) longest = run;
    }
    return longest;
}

}  // namespace

TEST_F(MenusGame, TheShippedLevelsFillTheScreenWithLegibleText) {
    StartAtTheStartMenu();
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *game_;

    // A slow machine may take a while to show the level's first frames: the
    // screen is looked at until it passes or the time is up.
    TestSupport::ScreenImage start;
    auto startShows = [&] {
        start = TestSupport::ScreenImage::Capture();
        // The title stands on its plate over the upper middle of the screen.
        return BlackAtTheEdges(start) == 0 && WhiteTextHeight(start, 500, 200, 1420, 510) >= 40;
    };
    TestSupport::WaitWhileRunning(startShows, game, 20.0);
    ASSERT_EQ(start.Width(), 1920);
    ASSERT_EQ(start.Height(), 1080);
    EXPECT_EQ(BlackAtTheEdges(start), 0) << "the start screen leaves black bands";
    EXPECT_GE(WhiteTextHeight(start, 500, 200, 1420, 510), 40) << "the title is too small";

    EXPECT_EQ(Press("Return"), 0);
    ASSERT_TRUE(WaitForOutput(game, "Playground loaded", 60.0)) << game.Output();
    TestSupport::ScreenImage playground;
    auto playgroundShows = [&] {
        playground = TestSupport::ScreenImage::Capture();
        // The controls line across the top: light text, high enough to read.
        return BlackAtTheEdges(playground) == 0 &&
               WhiteTextHeight(playground, 100, 0, 1820, 110) >= 18;
    };
    TestSupport::WaitWhileRunning(playgroundShows, game, 20.0);
    EXPECT_EQ(BlackAtTheEdges(playground), 0) << "the playground leaves black bands";
    EXPECT_GE(WhiteTextHeight(playground, 100, 0, 1820, 110), 18) << "the controls hint is unreadable";

    EXPECT_EQ(Press("Escape"), 0);
    EXPECT_EQ(Press("Down"), 0);
    EXPECT_EQ(Press("Down"), 0);
    EXPECT_EQ(Press("Return"), 0);
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
}

TEST_F(MenusGame, ThePlaygroundsPlayerJumpsAtEveryPressWhileStanding) {
    // Test lines after the player's update report each press of Up: whether
    // the player jumped within its first three frames, and when the player
    // rests (five frames without vertical speed): at the start and after
    // each press.
    StartAtTheStartMenu([](const std::string& root) {
        std::ofstream(root + "/Resources/Lua/Levels/Player_Update.lua", std::ios::app) << R"lua(
TEST_HELD = TEST_HELD or 0
if TEST_WAITING == nil then TEST_WAITING = true end
if IsKeyPressed(265) == 1 then
    TEST_HELD = TEST_HELD + 1
    if body:GetVelY() == 420 then TEST_JUMPED = true end
    if TEST_HELD == 3 then print("held jumped=" .. tostring(TEST_JUMPED == true)) end
elseif TEST_HELD > 0 then
    TEST_HELD, TEST_JUMPED, TEST_WAITING = 0, false, true
elseif TEST_WAITING then
    TEST_STILL = math.abs(body:GetVelY()) < 5 and (TEST_STILL or 0) + 1 or 0
    if TEST_STILL >= 5 then
        TEST_WAITING, TEST_STILL = false, 0
        print("standing again")
    end
end
)lua";
    });
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *game_;
    EXPECT_EQ(Press("Return"), 0);
    ASSERT_TRUE(WaitForOutput(game, "Playground loaded", 60.0)) << game.Output();
    // The player falls onto the floor first.
    ASSERT_TRUE(TestSupport::WaitWhileRunning(
        [&] { return CountOutput(game, "standing again") >= 1; }, game, 30.0))
        << game.Output();

    for (size_t press = 1; press <= 10; ++press) {
        ASSERT_EQ(TestSupport::Shell("xdotool search --name '^Tazzle$' windowactivate --sync keydown Up"), 0);
        TestSupport::WaitWhileRunning([&] { return CountOutput(game, "held jumped=") >= press; },
                                      game, 30.0);
        TestSupport::Shell("xdotool keyup Up");
        ASSERT_EQ(CountOutput(game, "held jumped="), press) << game.Output();
        ASSERT_TRUE(TestSupport::WaitWhileRunning(
            [&] { return CountOutput(game, "standing again") >= press + 1; }, game, 30.0))
            << game.Output();
    }
    EXPECT_EQ(CountOutput(game, "held jumped=true"), 10u) << game.Output();

    EXPECT_EQ(Press("Escape"), 0);
    EXPECT_EQ(Press("Down"), 0);
    EXPECT_EQ(Press("Down"), 0);
    EXPECT_EQ(Press("Return"), 0);
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
}
