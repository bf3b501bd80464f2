// The GUI in the real executable: the project's layout file gives the FPS
// counter its label, which starts hidden; F3, pressed on the real display,
// shows it and F3 again hides it, as the display shows.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/GameProcess.h"
#include "support/ScreenCapture.h"
#include "support/TestSupport.h"

using TestSupport::FpsCounterPixels;

TEST(GuiGame, F3ShowsAndHidesTheFpsLabelOfTheLayoutFile) {
    ASSERT_TRUE(TestSupport::EnsureWindowManager());
    TestSupport::TempDir dir;
    TestSupport::MakeGameFolder(dir, TestSupport::kReadyThenQuitOnRequest);
    TestSupport::WriteFirstLevel(dir);
    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_TRUE(TestSupport::WaitForWindow("Tazzle", 30.0)) << game.Output();
    const std::string key = "xdotool search --name '^Tazzle$' windowactivate --sync key F3";

    ASSERT_TRUE(TestSupport::AwaitFileWhileRunning(dir.Path() + "/ready", game, 60.0)) << game.Output();
    EXPECT_EQ(FpsCounterPixels(), 0) << "the label shows before F3";
    EXPECT_EQ(TestSupport::Shell(key), 0);
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { return FpsCounterPixels() > 20; }, game, 30.0)) << "F3 shows no label";
    EXPECT_EQ(TestSupport::Shell(key), 0);
    EXPECT_TRUE(TestSupport::WaitWhileRunning([] { return FpsCounterPixels() == 0; }, game, 30.0)) << "F3 again leaves it";

    dir.Write("quit", "x");
    EXPECT_EQ(game.Wait(60.0), 0) << game.Output();
}
