// The game's own menus in the real executable, worked with real input
// events on the display: the start screen's "Play" clicked with the mouse
// loads the playground; Escape there shows the pause menu, whose focus Down
// moves and Enter activates ("Quit" ends the game); F3 shows the profiler's
// pie graph next to the FPS label.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
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
    void StartAtTheStartMenu() {
        ASSERT_TRUE(TestSupport::EnsureWindowManager());
        CopyShippedResources(dir_);
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
