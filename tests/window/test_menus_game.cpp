// The game's own menus in the real executable, worked with real input
// events on the display: the start screen's "Play" clicked with the mouse
// ends the start screen; in the playground (loaded from the console, so that
// a game maker's own "Play" changes no test) Escape shows the pause menu,
// whose focus Down moves and Enter activates ("Quit" ends the game); F3
// shows the profiler's pie graph next to the FPS label. The open console
// keeps the keyboard from the menus and the game, over the start menu and
// over the pause menu.
//
// After every key the test waits until the game shows that it took it (a
// line of output, a frame counted by a level script, the focus frame on
// screen), and two presses in a row use different keys, so that no wait
// depends on the machine's speed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "support/GameProcess.h"
#include "support/ScreenCapture.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

bool WaitForOutput(TestSupport::GameProcess& game, const std::string& text, double seconds) {
    return TestSupport::WaitWhileRunning(
        [&] { return game.Output().find(text) != std::string::npos; }, game, seconds);
}

// How often `text` occurs in the game's output so far.
size_t CountOutput(TestSupport::GameProcess& game, const std::string& text) {
    const std::string out = game.Output();
    size_t count = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++count;
    return count;
}

// Counts the frames a level script runs in the file `name` of the game's
// folder (a paused game runs none).
std::string FrameCounter(const std::string& name) {
    return "FRAMES = (FRAMES or 0) + 1\n"
           "local counter = io.open(\"" + name + ".tmp\", \"w\")\n"
           "counter:write(FRAMES); counter:close()\n"
           "os.rename(\"" + name + ".tmp\", \"" + name + "\")\n";
}

// The game exactly as shipped, but for a frame counter run every frame:
// "frame" on the start screen and in the playground (as a level script of
// their own, which the shipped maps do not need), "coins" in the example
// level (at the top of its player's script); and a line at each level's end.
void CopyShippedResources(const TestSupport::TempDir& dir) {
    const fs::path resources = fs::path(dir.Path()) / "Resources";
    fs::copy(fs::path(TAZZLE_SOURCE_DIR) / "Resources", resources, fs::copy_options::recursive);
    const std::string end = (resources / "Lua/Globals/EndOfLevel.lua").string();
    dir.Write("Resources/Lua/Globals/EndOfLevel.lua",
              TestSupport::ReadFile(end) + "\nprint(\"Level ends\")\n");
    dir.Write("Resources/Lua/Levels/TestFrames.lua", FrameCounter("frame"));
    for (const char* map : {"Levels/00_Menu_Splash.tmx", "Levels/01_Playground.tmx"}) {
        const std::string path = (resources / map).string();
        std::string body = TestSupport::ReadFile(path);
        const size_t init = body.find("<property name=\"Init\"");
        ASSERT_NE(init, std::string::npos) << path;
        body.insert(init, "<property name=\"Update\" value=\"Levels/TestFrames.lua\"/>\n  ");
        dir.Write("Resources/" + std::string(map), body);
    }
    const std::string player = (resources / "Lua/Example/PlayerUpdate.lua").string();
    const std::string body = TestSupport::ReadFile(player);
    ASSERT_FALSE(body.empty()) << player;
    dir.Write("Resources/Lua/Example/PlayerUpdate.lua", FrameCounter("coins") + body);
}

// One xdotool command on the game's window.
int OnWindow(const std::string& command) {
    return TestSupport::Shell("xdotool search --name '^Tazzle$' windowactivate --sync " + command);
}

// Pixels of the display in the colour of the keyboard focus's frame, on the
// pause menu's button whose centre is `centreY` pixels down.
int FocusFramePixels(int centreY) {
    TestSupport::ScreenImage screen = TestSupport::ScreenImage::Capture();
    return screen.Count(690, centreY - 55, 1230, centreY + 55, 1, [](TestSupport::ScreenPixel p) {
        return p.r == 255 && p.g == 200 && p.b == 40;
    });
}
// The pause menu's buttons, 420, 540 and 660 thousandths down a 1080-pixel
// screen.
constexpr int kResumeY = 454, kMainMenuY = 583, kQuitY = 713;

// Lit pixels on the display where the profiler's graph stands (its centre
// at 900, 130 thousandths of the screen, radius 58 plus the rings).
int LitGraphPixels() {
    TestSupport::ScreenImage screen = TestSupport::ScreenImage::Capture();
    return screen.Count(1660, 70, 1800, 210, 4, [](TestSupport::ScreenPixel p) {
        return p.r + p.g + p.b > 60;
    });
}

// The console's grey body, around (400, 150) of the display; or at (950,
// 520) and 80, its output's darker grey, where the pause menu lies too.
bool ConsoleShows(int x = 390, int y = 130, int grey = 150) {
    TestSupport::ScreenImage screen = TestSupport::ScreenImage::Capture();
    return screen.Count(x, y, x + 30, y + 40, 2, [grey](TestSupport::ScreenPixel p) {
               return p.r == grey && p.g == grey && p.b == grey;
           }) > 0;
}

// The game exactly as shipped, started and showing its start menu.
class MenusGame : public ::testing::Test {
protected:
    void StartAtTheStartMenu() {
        ASSERT_TRUE(TestSupport::EnsureWindowManager());
        CopyShippedResources(dir_);
        if (HasFatalFailure()) return;
        game_ = std::make_unique<TestSupport::GameProcess>(TAZZLE_BINARY, dir_.Path());
        ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game_->Output();
        ASSERT_TRUE(WaitForOutput(*game_, "Start menu ready", 60.0)) << game_->Output();
        ASSERT_TRUE(FramesPass(2));
    }

    int Counted(const char* counter) const {
        return std::atoi(TestSupport::ReadFile(dir_.Path() + "/" + counter).c_str());
    }
    // Whether the level script counts `n` more frames.
    bool FramesPass(int n, const char* counter = "frame") {
        const int start = Counted(counter);
        return TestSupport::WaitWhileRunning([&] { return Counted(counter) >= start + n; }, *game_,
                                             60.0);
    }

    // Presses and releases `key` at once (the game counts a key pressed and
    // let go between two frames as pressed for one frame), then waits until
    // `seen` says the game took it. A key held instead would repeat after a
    // while on a slow machine, and a repeated backquote or Enter types again.
    bool Press(const std::string& key, const std::function<bool()>& seen) {
        EXPECT_EQ(OnWindow("key " + key), 0);
        return TestSupport::WaitWhileRunning(seen, *game_, 60.0);
    }
    // Typed into the console: characters reach it in order however many
    // come in one frame.
    int Type(const std::string& text) { return OnWindow("type --delay 30 '" + text + "'"); }

    // The pause menu shows with Resume focused.
    bool Pause() {
        return Press("Escape", [] { return FocusFramePixels(kResumeY) > 100; });
    }
    bool OpenConsole() { return Press("grave", [] { return ConsoleShows(); }); }
    // The playground, loaded from the console, and the console closed again:
    // "Play" is what a game maker points at a game of their own.
    bool LoadThePlayground() {
        const int loads = CountOutput(*game_, "Playground loaded");
        if (!OpenConsole() || Type("level GenericTileLevel 01_Playground.tmx") != 0) return false;
        return Press("Return", [&] { return CountOutput(*game_, "Playground loaded") > loads; }) &&
               Press("grave", [] { return !ConsoleShows(); });
    }
    // Resume is focused when the menu shows; Down, then S, reach Quit, and
    // only the focused button wears the focus's frame; Enter ends the game.
    void QuitThroughThePauseMenu() {
        ASSERT_TRUE(Pause()) << game_->Output();
        EXPECT_TRUE(Press("Down", [] { return FocusFramePixels(kMainMenuY) > 100; }));
        EXPECT_EQ(FocusFramePixels(kResumeY), 0);
        EXPECT_TRUE(Press("s", [] { return FocusFramePixels(kQuitY) > 100; }));
        EXPECT_EQ(FocusFramePixels(kMainMenuY), 0);
        EXPECT_TRUE(game_->Running()) << "moving the focus activated something";
        EXPECT_EQ(OnWindow("key Return"), 0);
        EXPECT_EQ(game_->Wait(60.0), 0) << game_->Output();
    }

    TestSupport::TempDir dir_;
    std::unique_ptr<TestSupport::GameProcess> game_;
};

}  // namespace

TEST_F(MenusGame, TheConsoleOverTheStartMenuTakesEveryKey) {
    StartAtTheStartMenu();
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *game_;

    // The console's Enter loads the coins level and presses no "Play"; its
    // q quits nothing.
    ASSERT_TRUE(OpenConsole()) << game.Output();
    EXPECT_EQ(Type("level GenericTileLevel Example_Coins.tmx"), 0);
    EXPECT_EQ(OnWindow("key Return"), 0);
    ASSERT_TRUE(FramesPass(30, "coins")) << game.Output();
    EXPECT_EQ(Type("q"), 0);
    EXPECT_TRUE(FramesPass(30, "coins")) << "q in the console ended the game\n" << game.Output();
    EXPECT_TRUE(ConsoleShows());

    EXPECT_EQ(OnWindow("key BackSpace"), 0);
    EXPECT_EQ(Type("level QUIT_GAME"), 0);
    EXPECT_EQ(OnWindow("key Return"), 0);
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
    const std::string out = game.Output();
    EXPECT_NE(out.find(":level GenericTileLevel Example_Coins.tmx\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Playground loaded"), std::string::npos) << out;
    EXPECT_EQ(out.find("cannot be found"), std::string::npos) << out;
}

TEST_F(MenusGame, TheConsoleOverThePauseMenuTypesResumeAndClosedGivesTheMenuItsKeys) {
    StartAtTheStartMenu();
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *game_;
    ASSERT_TRUE(LoadThePlayground()) << game.Output();
    ASSERT_TRUE(FramesPass(2)) << game.Output();

    ASSERT_TRUE(Pause()) << game.Output();
    const int pausedAt = Counted("frame");
    ASSERT_TRUE(OpenConsole()) << game.Output();
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { return ConsoleShows(950, 520, 80); }, game, 10))
        << "the pause menu covers the open console";
    // S and W are letters for the console, not focus moves that would take
    // its input away.
    EXPECT_EQ(Type("bloom2 resume words"), 0);
    EXPECT_EQ(OnWindow("key Return"), 0);
    EXPECT_TRUE(WaitForOutput(game, ":bloom2 resume words\n", 60.0)) << game.Output();
    EXPECT_EQ(Counted("frame"), pausedAt) << "the game ran while paused";
    EXPECT_EQ(Type("resume"), 0);
    EXPECT_EQ(OnWindow("key Return"), 0);
    EXPECT_TRUE(FramesPass(10)) << "resume typed in the console did not resume\n" << game.Output();
    EXPECT_NE(game.Output().find(":resume\n"), std::string::npos) << game.Output();

    // Closed, the console gives the keys back: the pause menu's second
    // button goes back to the start menu, unpaused, where Q quits.
    ASSERT_TRUE(Press("grave", [] { return !ConsoleShows(); })) << game.Output();
    ASSERT_TRUE(Pause()) << game.Output();
    EXPECT_TRUE(Press("Down", [] { return FocusFramePixels(kMainMenuY) > 100; }));
    EXPECT_TRUE(Press("Return", [&] { return CountOutput(game, "Start menu ready") >= 2; }));
    ASSERT_EQ(CountOutput(game, "Start menu ready"), 2u) << game.Output();
    EXPECT_TRUE(FramesPass(2)) << "the start menu runs paused";
    EXPECT_EQ(OnWindow("key q"), 0);
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
}

TEST_F(MenusGame, F3ShowsTheProfilersPieGraph) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    TestSupport::MakeGameFolder(dir, TestSupport::kReadyThenQuitOnRequest);
    TestSupport::WriteFirstLevel(dir);
    game_ = std::make_unique<TestSupport::GameProcess>(TAZZLE_BINARY, dir.Path());
    TestSupport::GameProcess& game = *game_;
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0))
        << game.Output();
    EXPECT_EQ(LitGraphPixels(), 0) << "the graph shows before F3";
    EXPECT_TRUE(Press("F3", [] { return LitGraphPixels() > 100; })) << "F3 shows no graph";
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

// Looks at the screen until it shows no black band and a line of white text
// at least `height` rows high inside the rectangle, or the time is up.
void ExpectFilledWithText(TestSupport::GameProcess& game, const char* what, int x0, int y0,
                          int x1, int y1, int height) {
    // A slow machine may take a while to show the level's first frames.
    TestSupport::ScreenImage screen;
    TestSupport::WaitWhileRunning(
        [&] {
            screen = TestSupport::ScreenImage::Capture();
            return BlackAtTheEdges(screen) == 0 && WhiteTextHeight(screen, x0, y0, x1, y1) >= height;
        },
        game, 20.0);
    ASSERT_EQ(screen.Width(), 1920);
    ASSERT_EQ(screen.Height(), 1080);
    EXPECT_EQ(BlackAtTheEdges(screen), 0) << what << " leaves black bands";
    EXPECT_GE(WhiteTextHeight(screen, x0, y0, x1, y1), height) << what << ": text too small";
}

// The shipped levels fill the screen with legible text; the start screen's
// "Play" clicked with the mouse ends the start screen; the keyboard moves
// the playground's pause menu's focus to "Quit".
TEST_F(MenusGame, TheShippedLevelsFillTheScreenWithLegibleText) {
    StartAtTheStartMenu();
    if (HasFatalFailure()) return;
    TestSupport::GameProcess& game = *game_;
    // The title stands on its plate over the upper middle of the screen.
    ExpectFilledWithText(game, "the start screen", 500, 200, 1420, 510, 40);

    // "Play" stands at 500, 640 thousandths of the full-screen window; what
    // it starts is the game maker's choice.
    EXPECT_EQ(OnWindow("mousemove 960 691 click 1"), 0);
    ASSERT_TRUE(WaitForOutput(game, "Level ends", 60.0)) << game.Output();
    ASSERT_TRUE(LoadThePlayground()) << game.Output();
    // The controls line across the top: light text, high enough to read.
    ExpectFilledWithText(game, "the playground", 100, 0, 1820, 110, 18);
    EXPECT_TRUE(Press("F3", [] { return TestSupport::FpsCounterPixels() > 20; }))
        << "the playground's panels cover F3's FPS counter";

    QuitThroughThePauseMenu();
}
